#!/usr/bin/env bash
# The Windows build under wine with Cyrillic and Japanese file and folder
# names: a stream and an image in and out, nothing left behind.
#   unicode-paths.sh VELGARDE_EXE WINE_RUN
set -euo pipefail
exe=$1
run=$2
cd "$(dirname "$exe")"  # the build folder, where the scratch goes
export LANG=C.UTF-8 LC_ALL=C.UTF-8
dir="cli_unicode_test.tmp/Видео テスト"
rm -rf cli_unicode_test.tmp
mkdir -p "$dir"
in="$dir/кадры-入力.y4m"
{ printf 'YUV4MPEG2 W16 H8 F25:1 Ip C420jpeg\n'
  for f in 1 2; do printf 'FRAME\n'; head -c 192 /dev/urandom; done; } >"$in"
printf 'P5\n4 2\n255\n' >"$dir/снимок-写真.pgm"
head -c 8 /dev/urandom >>"$dir/снимок-写真.pgm"
fail() { echo "FAILED: $*" >&2; exit 1; }

"$run" "$exe" -q "$in" "$dir/выход-出力.y4m" || fail "stream through Unicode names"
[ "$(head -c 9 "$dir/выход-出力.y4m")" = YUV4MPEG2 ] || fail "no stream written"
[ "$(stat -c %s "$dir/выход-出力.y4m")" = "$(stat -c %s "$in")" ] || fail "stream size differs"
"$run" "$exe" -q "$dir/снимок-写真.pgm" "$dir/резкий-鮮明.png" || fail "image through Unicode names"
[ "$(head -c 4 "$dir/резкий-鮮明.png" | tail -c 3)" = PNG ] || fail "no PNG written"
# The same file under its name twice is refused, also in these scripts.
if "$run" "$exe" -q "$in" "$in" 2>/dev/null; then fail "same file in and out accepted"; fi
left=$(find cli_unicode_test.tmp -type f -name '*.tmp' | wc -l)
[ "$left" = 0 ] || fail "temporary files left behind"
echo "1 passed, 0 failed: Unicode paths under wine"
