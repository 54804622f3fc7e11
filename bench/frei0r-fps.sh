#!/usr/bin/env bash
# 1080p frames per second through ffmpeg on one RGBA graph: frei0r=velgarde
# at the default settings and at the widest blur, against frei0r's own
# sharpness effect and ffmpeg's unsharp=5:5:1.0; then where velgarde's time
# goes inside a frame (velgarde_rgba_phases). One run; compare the ratios,
# not the absolute numbers, on a shared machine. FRAMES=n to change 300.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native >/dev/null
cmake --build --preset native --target velgarde_frei0r velgarde_rgba_phases >/dev/null
frames=${FRAMES:-300}
export FREI0R_PATH=$PWD/build/native:/usr/lib/frei0r-1

seconds() {  # seconds FILTERS: ffmpeg's wall time for the graph
  local start end
  start=$(date +%s.%N)
  ffmpeg -v error -nostdin -f lavfi -i testsrc2=s=1920x1080:r=25 -frames:v "$frames" \
      -vf "format=rgba$1" -f null -
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

declare -A took
labels=("graph alone" "velgarde default" "velgarde widest blur" "frei0r sharpness" "unsharp=5:5:1.0")
graphs=("" ",frei0r=velgarde" ",frei0r=velgarde:0.0833333333|0.1666666667|1|0.5|0" ",frei0r=sharpness"
        ",unsharp=5:5:1.0")
for i in "${!labels[@]}"; do took[${labels[$i]}]=$(seconds "${graphs[$i]}"); done

base=${took["graph alone"]}
printf '%d frames of 1080p testsrc2 -> rgba -> filter -> null, %s\n' "$frames" "$(nproc) processors"
printf '%-22s %8s %14s\n' "" "fps" "filter ms/frame"
for label in "${labels[@]}"; do
  t=${took[$label]}
  fps=$(echo "$frames / $t" | bc -l)
  own=$(echo "($t - $base) * 1000 / $frames" | bc -l)
  [ "$label" = "graph alone" ] && own=0
  printf '%-22s %8.1f %14.2f\n' "$label" "$fps" "$own"
done
ratio() { echo "${took[$2]} / ${took[$1]}" | bc -l; }
filter_ratio() { echo "(${took[$2]} - $base) / (${took[$1]} - $base)" | bc -l; }
printf 'velgarde default against sharpness: x%.1f fps, x%.1f filter time\n' \
    "$(ratio "velgarde default" "frei0r sharpness")" "$(filter_ratio "velgarde default" "frei0r sharpness")"
printf 'velgarde default against unsharp:   x%.1f fps, x%.1f filter time\n' \
    "$(ratio "velgarde default" "unsharp=5:5:1.0")" "$(filter_ratio "velgarde default" "unsharp=5:5:1.0")"
echo
./build/native/velgarde_rgba_phases 30
