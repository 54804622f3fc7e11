#!/usr/bin/env bash
# Fuzzes, with libFuzzer, the YUV4MPEG2 reader, the image readers, the image
# metadata reader and splicer, and the plug-in through the emulated host.
#   scripts/fuzz.sh short   about 20 s per target (30 s for the image ones), for make test and CI
#   scripts/fuzz.sh long    about 20 min per target, for make fuzz (FUZZ_SECONDS overrides)
# The corpus grows in build/fuzz/corpus/y4m across runs; crashes land in
# build/fuzz/crashes and fail the run.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-short}
case "$mode" in
  short) seconds=${FUZZ_SECONDS:-20}; image_seconds=${FUZZ_SECONDS:-30} ;;
  long) seconds=${FUZZ_SECONDS:-1200}; image_seconds=$seconds ;;
  *) echo "usage: $0 short|long" >&2; exit 2 ;;
esac

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_y4m_reader fuzz_plugin fuzz_image_decode fuzz_image_metadata

build=build/fuzz
corpus=$build/corpus/y4m
crashes=$build/crashes
mkdir -p "$corpus" "$crashes"

# Seeds: small valid streams of each layout and depth, written here rather
# than kept as binary files in the repository.
seed() {  # name header frame-bytes frames [frame-parameters]
  local file=$corpus/seed-$1
  [ -f "$file" ] && return 0
  { printf '%s\n' "$2"
    for _ in $(seq "$4"); do
      printf 'FRAME%s\n' "${5:-}"
      head -c "$3" /dev/zero | tr '\0' '\200'
    done; } >"$file"
}
seed 420 "YUV4MPEG2 W4 H2 F25:1 Ip A1:1 C420jpeg XYSCSS=420JPEG" 12 2
seed 420odd "YUV4MPEG2 W5 H3 C420mpeg2" 27 1 " Ib"
seed 411 "YUV4MPEG2 W8 H1 C411" 12 1
seed 422 "YUV4MPEG2 W4 H2 It C422" 16 2
seed 444alpha "YUV4MPEG2 W2 H2 C444alpha" 16 1
seed mono "YUV4MPEG2 W3 H3 Cmono XCOLORRANGE=FULL" 9 3
seed 10bit "YUV4MPEG2 W2 H2 C420p10 XYSCSS=420P10" 12 1
seed 12bit "YUV4MPEG2 W2 H2 C444p12" 24 1 " XA=1"
seed mono12 "YUV4MPEG2 W2 H1 Cmono12" 4 2

# One fuzz target over its corpus: what  target  corpus  seconds  lines-shown  [options]
fuzz() {
  local what=$1 target=$2 dir=$3 time=$4 lines=$5
  shift 5
  echo "fuzzing $what for $time s"
  "$build/fuzz_$target" "$dir" -max_total_time="$time" -artifact_prefix="$crashes/" \
    -print_final_stats=1 -rss_limit_mb=2048 "$@" 2>&1 | tail -n "$lines"
  local status=${PIPESTATUS[0]}
  if [ "$status" -ne 0 ]; then
    echo "fuzzing $what found a failure; inputs in $crashes" >&2
    exit "$status"
  fi
  echo "fuzz $what ($mode): no failures; corpus $(ls "$dir" | wc -l) inputs"
}

fuzz "the YUV4MPEG2 reader" y4m_reader "$corpus" "$seconds" 15 \
  -dict=fuzz/y4m.dict -max_len=4096 -timeout=10

# The plug-in through the emulated host, every frame against the scalar
# model; seeded from the committed corpus (the worked cases and the unsafe
# records), grown in build/fuzz/corpus/plugin.
plugin_corpus=$build/corpus/plugin
mkdir -p "$plugin_corpus"
cp -n fuzz/corpus/plugin/* "$plugin_corpus"/
fuzz "the plug-in through the emulated host" plugin "$plugin_corpus" "$seconds" 6 -max_len=512 -timeout=30

# Images of every format and the metadata in them, seeded from the committed
# corpus (small files of each format, with ICC, EXIF, XMP and IPTC), grown in
# build/fuzz/corpus/image-*.
for target in image_decode image_metadata; do
  target_corpus=$build/corpus/$target
  mkdir -p "$target_corpus"
  cp -n fuzz/corpus/image/* "$target_corpus"/
  fuzz "$target" "$target" "$target_corpus" "$image_seconds" 6 -max_len=65536 -timeout=20
done
