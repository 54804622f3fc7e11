#!/usr/bin/env bash
# Installs the Debian packages the builds and tests need. Quick when all is there.
#   scripts/deps.sh                 installs what is missing (make deps)
#   scripts/deps.sh demo            only the native toolchain make demo needs (make deps-demo)
#   scripts/deps.sh --check [demo]  only names what is missing (every other make target)
set -euo pipefail
cd "$(dirname "$0")/.."
check=0
[ "${1:-}" = --check ] && { check=1; shift; }
# The image libraries of the native builds; the cross builds and the fuzzers
# compile the same versions from third_party/.
demo=(cmake ninja-build g++ libstb-dev libpng-dev libjpeg-dev libgif-dev)
pkgs=("${demo[@]}" clang libclang-rt-14-dev libgtest-dev libbenchmark-dev
      g++-multilib qemu-user g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64
      binutils-mingw-w64-i686 ffmpeg valgrind
      frei0r-plugins-dev frei0r-plugins melt gstreamer1.0-tools gstreamer1.0-plugins-bad bc
      gstreamer1.0-libav
      libopencv-imgproc-dev)  # the last: the benchmarks' comparison only, never the product
# gstreamer1.0-libav: the H.264 decoder the GStreamer example of docs/frei0r.md
# needs (decodebin finds none in the base and bad plug-ins).
only_demo=0
[ "${1:-}" = demo ] && { pkgs=("${demo[@]}"); only_demo=1; }
if ! command -v dpkg-query >/dev/null; then
  # Not Debian: the builds find what they need through CMake, or say what is missing.
  [ $check -eq 1 ] && exit 0
  echo "no dpkg here: install the equivalents of ${pkgs[*]} by hand" >&2
  exit 1
fi
# 32-bit wine runs the product's own tests, but only where the machine runs
# 32-bit x86 code; elsewhere it would pull a whole i386 stack that cannot run.
wine32=0
if [ $only_demo -eq 0 ] && bash scripts/can-run-32bit.sh >/dev/null; then
  wine32=1
  pkgs+=(wine wine32:i386)
fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ $check -eq 1 ]; then
  if [ $only_demo -eq 1 ]; then
    echo "packages missing: ${missing[*]} (make deps-demo installs just these, make deps everything)" >&2
    exit 1
  fi
  echo "note: packages missing: ${missing[*]} (make deps installs them)" >&2
  exit 0
fi
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
# Wait for another apt or dpkg instead of failing at once.
apt=($sudo apt-get -o DPkg::Lock::Timeout=600 -y -qq)
if [ $wine32 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
# A mirror in the middle of a sync fails one index now and then; what the
# other indexes list usually still installs, so retry, then go on.
for try in 1 2 3; do
  "${apt[@]}" update && break
  echo "apt-get update failed (try $try of 3)" >&2
  [ $try -lt 3 ] && sleep 20
done
base=() extra=()
for p in "${missing[@]}"; do
  case $p in wine|wine32:i386) extra+=("$p") ;; *) base+=("$p") ;; esac
done
[ ${#base[@]} -eq 0 ] || "${apt[@]}" install "${base[@]}"
# 32-bit wine only runs the product's own tests; without it they are skipped
# (and said so), so its failure must not stop the rest.
if [ ${#extra[@]} -gt 0 ] && ! "${apt[@]}" install "${extra[@]}"; then
  echo "!!! could not install ${extra[*]}: the win32 test programs will be SKIPPED" >&2
fi
