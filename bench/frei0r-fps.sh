#!/usr/bin/env bash
# 1080p frames per second through ffmpeg on one RGBA graph: frei0r=velgarde
# at the default settings and at the widest blur, against frei0r's own
# sharpness effect and ffmpeg's unsharp=5:5:1.0; then an RGBA picture against
# the engine's own frame outside ffmpeg (velgarde_rgba_phases; bench/hosts.sh
# has every host's figures in one run). One run; compare the ratios,
# not the absolute numbers, on a shared machine (processor time is the
# steadier measure there). FRAMES=n to change 300, REPEATS=n to change 3.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native >/dev/null
cmake --build --preset native --target velgarde_frei0r velgarde_rgba_phases >/dev/null
frames=${FRAMES:-300}
export FREI0R_PATH=$PWD/build/native:/usr/lib/frei0r-1

times() {  # times FILTERS: ffmpeg's wall and processor seconds for the graph
  ffmpeg -nostdin -benchmark -f lavfi -i testsrc2=s=1920x1080:r=25 -frames:v "$frames" \
      -vf "format=rgba$1" -f null - 2>&1 |
    sed -n 's/^bench: utime=\([0-9.]*\)s stime=\([0-9.]*\)s rtime=\([0-9.]*\)s$/\3 \1 \2/p' |
    awk '{ printf "%s %.3f\n", $1, $2 + $3 }'
}

declare -A took cpu
labels=("graph alone" "velgarde default" "velgarde widest blur" "frei0r sharpness" "unsharp=5:5:1.0")
graphs=("" ",frei0r=velgarde" ",frei0r=velgarde:0.0833333333|0.1666666667|1|0.5|0" ",frei0r=sharpness"
        ",unsharp=5:5:1.0")
# Each graph REPEATS times in turn (default 3), the best of each kept: load
# from elsewhere only ever adds time.
for ((r = 0; r < ${REPEATS:-3}; ++r)); do
  for i in "${!labels[@]}"; do
    read -r wall processor < <(times "${graphs[$i]}")
    label=${labels[$i]}
    if [ -z "${took[$label]:-}" ] || [ "$(echo "$wall < ${took[$label]}" | bc)" = 1 ]; then took[$label]=$wall; fi
    if [ -z "${cpu[$label]:-}" ] || [ "$(echo "$processor < ${cpu[$label]}" | bc)" = 1 ]; then cpu[$label]=$processor; fi
  done
done

base=${took["graph alone"]}
cpu_base=${cpu["graph alone"]}
printf '%d frames of 1080p testsrc2 -> rgba -> filter -> null, best of %d, %s processors, load %s\n' "$frames" "${REPEATS:-3}" "$(nproc)" \
    "$(cut -d' ' -f1 /proc/loadavg)"
printf '%-22s %8s %16s %16s\n' "" "fps" "filter ms/frame" "filter cpu ms"
for label in "${labels[@]}"; do
  t=${took[$label]}
  fps=$(echo "$frames / $t" | bc -l)
  own=$(echo "($t - $base) * 1000 / $frames" | bc -l)
  own_cpu=$(echo "(${cpu[$label]} - $cpu_base) * 1000 / $frames" | bc -l)
  [ "$label" = "graph alone" ] && own=0 && own_cpu=0
  printf '%-22s %8.1f %16.2f %16.2f\n' "$label" "$fps" "$own" "$own_cpu"
done
ratio() { echo "${took[$2]} / ${took[$1]}" | bc -l; }
filter_ratio() { echo "(${took[$2]} - $base) / (${took[$1]} - $base)" | bc -l; }
cpu_ratio() { echo "(${cpu[$2]} - $cpu_base) / (${cpu[$1]} - $cpu_base)" | bc -l; }
for other in "frei0r sharpness" "unsharp=5:5:1.0"; do
  printf 'velgarde default against %-16s x%.1f fps, x%.1f filter time, x%.1f filter cpu\n' "$other:" \
      "$(ratio "velgarde default" "$other")" "$(filter_ratio "velgarde default" "$other")" \
      "$(cpu_ratio "velgarde default" "$other")"
done
echo
./build/native/velgarde_rgba_phases 30
