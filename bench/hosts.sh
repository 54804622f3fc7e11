#!/usr/bin/env bash
# Every host's time per 1080p frame against the engine's own frame, in one
# run (make bench-hosts):
#   engine   velgarde_host_frames: both passes over a frame of Y, Cb, Cr on one
#            thread, processor time (and an RGBA picture and a yuv420p plane
#            through the picture sharpener, for comparison), timed before the
#            others and again after them, the lower figure kept;
#   frei0r   ffmpeg testsrc2 -> rgba -> filter -> null: processor time of
#            frei0r=velgarde, frei0r's sharpness and unsharp=5:5:1.0, each less
#            the graph alone (goal: velgarde <= 0.5 x sharpness);
#   tool     velgarde file -> file on yuv420p frames, processor time per frame
#            (goal <= 1.3 x the engine's frame; user and system time apart,
#            beside cat copying the file, since writing the file is most of
#            the system time), and in a pipe
#            ffmpeg | velgarde | ffmpeg: velgarde's own processor time, and
#            the pipe's speed against ffmpeg's unsharp;
#   .auf2    Velgarde.auf2's video function under the emulated successor host
#            in wine64 against the engine's frame on the same pool, measured
#            in turns inside that program (goal <= 1.3; needs build/win64).
# Absolute times are noisy on a shared machine: compare the ratios, all taken
# in this run. Each ffmpeg and tool figure is the best of RUNS (default 3);
# FRAMES (default 200) 1080p frames.
set -euo pipefail
cd "$(dirname "$0")/.."
frames=${FRAMES:-200}
runs=${RUNS:-3}
cmake --preset native >/dev/null
cmake --build --preset native -j2 --target velgarde velgarde_frei0r velgarde_host_frames >/dev/null
bin=$PWD/build/native
work=$PWD/build/bench-hosts
mkdir -p "$work"
calc() { awk "BEGIN { printf \"%.${2:-2}f\", $1 }"; }

# ---- the engine's own frame, one thread
echo "== the engine's own 1080p frame (two passes over Y, Cb, Cr), one thread, processor time"
"$bin/velgarde_host_frames" 15 | tee "$work/host-frames.txt"
read -r _ rgba_ms rgba_ratio < <(grep '^rgba ' "$work/host-frames.txt")
read -r _ engine_ms _ < <(grep '^engine ' "$work/host-frames.txt")
# Load from elsewhere only adds time: the engine is timed again at the end
# and the lower figure is the one the ratios use.
engine_again() {
  local again
  read -r _ again _ < <("$bin/velgarde_host_frames" 15 | grep '^engine ')
  echo "engine again at the end: $again ms"
  awk "BEGIN { exit !($again < $engine_ms) }" && engine_ms=$again
  echo "ratios below use the engine frame $engine_ms ms"
}
echo

# ---- frei0r in ffmpeg
export FREI0R_PATH=$bin:/usr/lib/frei0r-1
graph_cpu() {  # processor seconds of the ffmpeg graph with filters $1, best of $runs
  local best=""
  for _ in $(seq "$runs"); do
    local s
    s=$(ffmpeg -nostdin -benchmark -f lavfi -i testsrc2=s=1920x1080:r=25 -frames:v "$frames" \
          -vf "format=rgba$1" -f null - 2>&1 |
        sed -n 's/^bench: utime=\([0-9.]*\)s stime=\([0-9.]*\)s.*$/\1 \2/p' | awk '{ print $1 + $2 }')
    if [ -z "$best" ] || awk "BEGIN { exit !($s < $best) }"; then best=$s; fi
  done
  echo "$best"
}
alone=$(graph_cpu "")
velgarde=$(graph_cpu ",frei0r=velgarde")
sharpness=$(graph_cpu ",frei0r=sharpness")
unsharp=$(graph_cpu ",unsharp=5:5:1.0")
ms_per() { calc "($1 - $alone) * 1000 / $frames" 3; }
v_ms=$(ms_per "$velgarde"); s_ms=$(ms_per "$sharpness"); u_ms=$(ms_per "$unsharp")

# ---- the tool
in=$work/in-$frames.y4m
source_args=(-v error -f lavfi -i "testsrc2=s=1920x1080:r=25" -frames:v "$frames" -pix_fmt yuv420p)
[ -s "$in" ] || ffmpeg -nostdin "${source_args[@]}" -f yuv4mpegpipe -y "$in"
cpu_of() {  # processor seconds of the command line $1 (the best of $runs); its wall seconds to $2,
            # user and system seconds to $3
  local best="" wall="" split=""
  for _ in $(seq "$runs"); do
    local out
    out=$( { TIMEFORMAT='%R %U %S'; time bash -c "set -o pipefail; $1" >/dev/null 2>&1; } 2>&1 | tail -n 1)
    read -r r u s <<<"$out"
    local c
    c=$(awk "BEGIN { print $u + $s }")
    if [ -z "$best" ] || awk "BEGIN { exit !($c < $best) }"; then best=$c; wall=$r; split="$u $s"; fi
  done
  [ -n "${2:-}" ] && echo "$wall" >"$2"
  [ -n "${3:-}" ] && echo "$split" >"$3"
  echo "$best"
}
tool=$(cpu_of "'$bin/velgarde' -q '$in' '$work/out.y4m'" "" "$work/tool.split")
floor=$(cpu_of "cat '$in' > '$work/copy.y4m'" "" "$work/floor.split")
tool_ms=$(calc "$tool * 1000 / $frames" 3)
# In a pipe: velgarde's own processor time (the time of its element alone).
pipe_cpu() {
  local best=""
  for _ in $(seq "$runs"); do
    local s
    s=$( { ffmpeg -nostdin "${source_args[@]}" -f yuv4mpegpipe - |
           bash -c "TIMEFORMAT='%U %S'; time '$bin/velgarde' -q - -" 2>"$work/pipe-time.txt" |
           ffmpeg -nostdin -v error -f yuv4mpegpipe -i - -f null -; } 2>/dev/null
         awk '{ print $1 + $2 }' "$work/pipe-time.txt")
    if [ -z "$best" ] || awk "BEGIN { exit !($s < $best) }"; then best=$s; fi
  done
  echo "$best"
}
pipe_ms=$(calc "$(pipe_cpu) * 1000 / $frames" 3)
cpu_of "ffmpeg -nostdin ${source_args[*]} -f yuv4mpegpipe - | '$bin/velgarde' -q - - | ffmpeg -nostdin -v error -f yuv4mpegpipe -i - -f null -" "$work/pipe.wall" >/dev/null
cpu_of "ffmpeg -nostdin ${source_args[*]} -vf unsharp=5:5:1.0 -f null -" "$work/unsharp.wall" >/dev/null
engine_again
echo
echo "== frei0r: ffmpeg, $frames frames of 1080p testsrc2 -> rgba -> filter -> null, processor ms per frame less the graph alone, best of $runs"
printf '%-22s %8s ms  %6s x the engine frame\n' "frei0r=velgarde" "$v_ms" "$(calc "$v_ms / $engine_ms")"
printf '%-22s %8s ms  velgarde / sharpness = %s (goal <= 0.5)\n' "frei0r=sharpness" "$s_ms" "$(calc "$v_ms / $s_ms")"
printf '%-22s %8s ms  velgarde / unsharp = %s\n' "unsharp=5:5:1.0" "$u_ms" "$(calc "$v_ms / $u_ms")"
echo
echo "== the tool: $frames frames of 1080p yuv420p, processor time, best of $runs"
read -r tool_user tool_sys <"$work/tool.split"
read -r floor_user floor_sys <"$work/floor.split"
printf '%-36s %8s ms/frame  %s x the engine frame (goal <= 1.3): user %s, system %s ms/frame\n' \
  "velgarde file -> file" "$tool_ms" "$(calc "$tool_ms / $engine_ms")" "$(calc "$tool_user * 1000 / $frames" 3)" \
  "$(calc "$tool_sys * 1000 / $frames" 3)"
printf '%-36s %8s ms/frame  (user %s, system %s): the copy alone, for scale\n' "cat file > file" \
  "$(calc "$floor * 1000 / $frames" 3)" "$(calc "$floor_user * 1000 / $frames" 3)" "$(calc "$floor_sys * 1000 / $frames" 3)"
printf '%-36s %8s ms/frame  %s x the engine frame\n' "velgarde in ffmpeg | velgarde | ffmpeg" "$pipe_ms" \
  "$(calc "$pipe_ms / $engine_ms")"
printf '%-36s %8s fps; ffmpeg -vf unsharp=5:5:1.0 %s fps\n' "the pipe" "$(calc "$frames / $(cat "$work/pipe.wall")" 1)" \
  "$(calc "$frames / $(cat "$work/unsharp.wall")" 1)"
echo

# ---- the .auf2 module under the emulated successor host (wine64)
echo "== .auf2: Velgarde.auf2's video function under the emulated successor host (wine64)"
win=$PWD/build/win64
if [ ! -x /usr/lib/wine/wine64 ]; then
  echo "SKIPPED: no wine64 (/usr/lib/wine/wine64)"
elif [ ! -f "$win/CMakeCache.txt" ]; then
  echo "SKIPPED: no build/win64 (cmake --preset win64 && cmake --build --preset win64 -j2)"
else
  cmake --build --preset win64 -j2 --target velgarde_auf2_frame_time >/dev/null
  (cd "$win" && ../../cmake/wine-run.sh velgarde_auf2_frame_time.exe Velgarde.auf2 15)
fi
