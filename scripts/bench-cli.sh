#!/usr/bin/env bash
# The velgarde tool against the plug-in alone and against ffmpeg's own
# unsharp, all in one run on the same 1080p yuv420p frames:
#   1. the plug-in's time per frame through the emulated host;
#   2. the tool's wall time per frame, file to /dev/null (goal: at most 1.5
#      times 1);
#   3. ffmpeg | velgarde | ffmpeg, against ffmpeg -vf unsharp=5:5:1.0 on the
#      same source (goal: at least 1.5 times as fast), and the same pipeline
#      with cat in velgarde's place.
# BENCH_FRAMES sets the frame count (default 300); each timing is the best of
# BENCH_RUNS runs (default 3).
set -euo pipefail
cd "$(dirname "$0")/.."
frames=${BENCH_FRAMES:-300}
runs=${BENCH_RUNS:-3}
cmake --preset native >/dev/null
cmake --build --preset native --target velgarde velgarde_plugin_frame_time >/dev/null
bin=$PWD/build/native
work=build/bench-cli
mkdir -p "$work"
source_args=(-v error -f lavfi -i "testsrc2=s=1920x1080:r=25" -frames:v "$frames" -pix_fmt yuv420p)
in=$work/in-$frames.y4m
[ -s "$in" ] || ffmpeg "${source_args[@]}" -f yuv4mpegpipe -y "$in"

# Best wall seconds of $runs runs of the command line in $1; the CPU seconds
# (user + system) of that run go to the file $2 if given, as a check that
# does not depend on how busy the machine is.
best() {
  local best="" cpu=""
  for _ in $(seq "$runs"); do
    local out
    out=$( { TIMEFORMAT='%R %U %S'; time bash -c "set -o pipefail; $1" >/dev/null; } 2>&1 | tail -n 1)
    read -r t u s <<<"$out"
    if [ -z "$best" ] || awk "BEGIN { exit !($t < $best) }"; then
      best=$t
      cpu=$(awk "BEGIN { print $u + $s }")
    fi
  done
  [ -n "${2:-}" ] && echo "$cpu" >"$2"
  echo "$best"
}

read -r plugin_mean plugin_median _ < <("$bin/velgarde_plugin_frame_time" "$bin/Tarnwick.so" "$in")
best "'$bin/velgarde_plugin_frame_time' '$bin/Tarnwick.so' '$in'" "$work/plugin.cpu" >/dev/null
tool=$(best "'$bin/velgarde' -q '$in' /dev/null" "$work/tool.cpu")
src="ffmpeg ${source_args[*]}"
pipeline=$(best "$src -f yuv4mpegpipe - | '$bin/velgarde' -q - - | ffmpeg -v error -f yuv4mpegpipe -i - -f null -")
unsharp=$(best "$src -vf unsharp=5:5:1.0 -f null -")
plain=$(best "$src -f yuv4mpegpipe - | cat | ffmpeg -v error -f yuv4mpegpipe -i - -f null -")

calc() { awk "BEGIN { printf \"%.${2:-2}f\", $1 }"; }
ms() { calc "$1 * 1000 / $frames" 3; }
fps() { calc "$frames / $1" 1; }
tool_ms=$(ms "$tool")
echo "frames: $frames of 1920x1080 yuv420p, best of $runs runs, $(nproc) processors"
printf '%-44s %8s ms/frame\n' "plug-in through the host (median)" "$plugin_median"
printf '%-44s %8s ms/frame  %s x the plug-in (goal <= 1.5)\n' "velgarde file -> /dev/null" "$tool_ms" \
  "$(calc "$tool_ms / $plugin_median")"
printf '%-44s %8s ms/frame  (plug-in alone, with its reading: %s)\n' "CPU time of velgarde file -> /dev/null" \
  "$(ms "$(cat "$work/tool.cpu")")" "$(ms "$(cat "$work/plugin.cpu")")"
printf '%-44s %8s fps\n' "ffmpeg | velgarde | ffmpeg" "$(fps "$pipeline")"
printf '%-44s %8s fps\n' "ffmpeg -vf unsharp=5:5:1.0" "$(fps "$unsharp")"
printf '%-44s %8s fps\n' "ffmpeg | cat | ffmpeg" "$(fps "$plain")"
printf '%-44s %8s x (goal >= 1.5)\n' "pipeline speed / ffmpeg unsharp speed" \
  "$(calc "$unsharp / $pipeline")"
