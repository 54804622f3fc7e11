#!/usr/bin/env bash
# Exits 0 if this machine runs 32-bit x86 programs natively, else prints why
# not and exits 1. Some kernels of the same kind lack IA-32 support, so the
# answer comes from running a program, not from the kernel's version: a
# 93-byte static i386 ELF that calls exit(0), written here so that no 32-bit
# toolchain is needed to ask.
set -uo pipefail
probe=$(mktemp "${TMPDIR:-/tmp}/velgarde-i386-probe.XXXXXX") || exit 1
trap 'rm -f "$probe"' EXIT
{
  # ELF header: 32-bit, little-endian, executable, i386, entry 0x08048054,
  # program headers at 52, one of them.
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'
  printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
  # One loadable segment: the whole file at 0x08048000, read and execute.
  printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'
  printf '\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
  # mov eax, 1; xor ebx, ebx; int 0x80: exit(0).
  printf '\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80'
} >"$probe"
chmod +x "$probe"
if out=$("$probe" 2>&1); then
  exit 0
fi
why=$(printf '%s' "$out" | tail -n 1)
echo "this machine cannot run 32-bit x86 programs (a static i386 probe failed${why:+: ${why##*: }})"
exit 1
