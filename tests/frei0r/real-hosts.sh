#!/usr/bin/env bash
# velgarde.so inside the real frei0r hosts (ffmpeg, MLT, gst-launch-1.0),
# each compared byte for byte with the velgarde tool on the same RGBA frames.
# Usage: real-hosts.sh FOLDER_WITH_velgarde.so VELGARDE_TOOL MLT_FRAMES
set -euo pipefail
export FREI0R_PATH=$(cd "$1" && pwd)
tool=$2
mlt_frames=${3:-}
kdenlive_xml=$(cd "$(dirname "$0")/../../frei0r/kdenlive" && pwd)/frei0r_velgarde.xml
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
run() { timeout 120 "$@" </dev/null; }
fail() { echo "FAIL: $*" >&2; exit 1; }
same() {  # same A B [bytes]: equal files (or equal first bytes), A not empty
  [ -s "$1" ] || fail "$1 is empty"
  cmp ${3:+-n $3} "$1" "$2" >/dev/null || fail "$1 differs from $2"
}

# Settings as the tool's options (tracks) and as frei0r values (track - min) / (max - min).
mins=(0 0 1 0 0)
maxs=(300 300 100 100 1000)
options() { local t=($1); echo "--amount-plus ${t[0]} --amount-minus ${t[1]} --range ${t[2]} --variance ${t[3]} --threshold ${t[4]}"; }
values() {  # values TRACKS SEPARATOR
  local t=($1) out="" i
  for i in 0 1 2 3 4; do
    out+=$(awk -v t="${t[$i]}" -v lo="${mins[$i]}" -v hi="${maxs[$i]}" 'BEGIN { printf "%.10f", (t - lo) / (hi - lo) }')
    [ $i -lt 4 ] && out+=$2
  done
  echo "$out"
}
# The tool's results for each frame, as one raw RGBA file.
expected() {  # expected TRACKS NAME FRAMES_PREFIX
  local f
  for f in "$3"*.png; do run "$tool" -q $(options "$1") "$f" "$2-$(basename "$f")"; done
  run ffmpeg -v error -y -i "$2-$3%d.png" -f rawvideo -pix_fmt rgba "$2.rgba"
}

defaults="25 50 10 50 0"
strong="100 100 25 37 40"
widest="300 300 100 100 0"

# Three frames with moving detail and an alpha ramp. ffmpeg hands frei0r
# rows padded to its own alignment unless they are a multiple of 64 bytes,
# so its pictures are 16 pixels wide per step; gst packs rows, so it also
# gets an odd size.
run ffmpeg -v error -f lavfi -i testsrc2=s=160x96:r=25 -frames:v 3 \
    -vf "format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='mod(3*X+Y,256)'" a%d.png
run ffmpeg -v error -i a%d.png -f rawvideo -pix_fmt rgba a.rgba
run ffmpeg -v error -f lavfi -i testsrc2=s=96x64:r=25 -frames:v 2 -vf "scale=97:61,format=rgba" b%d.png
run ffmpeg -v error -i b%d.png -f rawvideo -pix_fmt rgba b.rgba
expected "$defaults" def a
expected "$strong" strong a
expected "$widest" widest a
expected "$strong" oddstrong b

# ffmpeg: defaults, explicit settings, both amounts 0, and two instances
# with different settings in one graph.
run ffmpeg -v error -i a%d.png -vf frei0r=velgarde -f rawvideo -pix_fmt rgba ff-def.rgba
same ff-def.rgba def.rgba
run ffmpeg -v error -i a%d.png -vf "frei0r=velgarde:$(values "$widest" '|')" -f rawvideo -pix_fmt rgba ff-widest.rgba
same ff-widest.rgba widest.rgba
run ffmpeg -v error -i a%d.png -vf "frei0r=velgarde:$(values "0 0 100 100 0" '|')" -f rawvideo -pix_fmt rgba ff-zero.rgba
same ff-zero.rgba a.rgba
run ffmpeg -v error -i a%d.png -filter_complex \
    "split[x][y];[x]frei0r=velgarde:$(values "$strong" '|')[s];[y]frei0r=velgarde[d]" \
    -map '[s]' -f rawvideo -pix_fmt rgba ff-two-strong.rgba -map '[d]' -f rawvideo -pix_fmt rgba ff-two-def.rgba
same ff-two-strong.rgba strong.rgba
same ff-two-def.rgba def.rgba
# The change view: what the tool's --show change writes for the same frames.
for f in a*.png; do run "$tool" -q $(options "$strong") --show change "$f" "view-$(basename "$f")"; done
run ffmpeg -v error -y -i view-a%d.png -f rawvideo -pix_fmt rgba view.rgba
run ffmpeg -v error -i a%d.png -vf "frei0r=velgarde:$(values "$strong" '|')|y" -f rawvideo -pix_fmt rgba ff-view.rgba
same ff-view.rgba view.rgba
echo "ffmpeg: ok"

# MLT (the framework under melt, Kdenlive and Shotcut): a profile of the
# clip's own size, so nothing is scaled, and the frames pulled one by one
# through its frei0r filter by mlt-frames (tests/frei0r/MltFrames.c says why
# not through melt's render). MLT may see fewer frames in the clip than it
# holds: compare those it gave.
printf 'description=test\nwidth=160\nheight=96\nprogressive=1\nsample_aspect_num=1\nsample_aspect_den=1\ndisplay_aspect_num=5\ndisplay_aspect_den=3\nframe_rate_num=25\nframe_rate_den=1\ncolorspace=709\n' > profile
run ffmpeg -v error -i a%d.png -c:v png a.nut
mlt_frames() {  # mlt_frames OUT PARAMETER=VALUE...
    local out=$1 count
    shift
    [ -x "$mlt_frames" ] || fail "no mlt-frames (MLT's library, libmlt-7.so.7, comes with melt: make deps)"
    count=$(run "$mlt_frames" "$work/profile" a.nut "$out" "$@" 2>mlt-errors.txt) ||
        fail "mlt-frames: $(grep -v LADSPA mlt-errors.txt | tr '\n' ' ')"
    [ "$count" -ge 2 ] || fail "MLT gave $count frames of 3"
    same "$out" strong.rgba "$(stat -c %s "$out")"
}
melt_params=$(values "$strong" ' ' | awk '{ for (i = 1; i <= NF; ++i) printf "%d=%s ", i - 1, $i }')
mlt_frames mlt.rgba $melt_params
# The Kdenlive description: its defaults are the editor's, and MLT takes its
# parameter names (Kdenlive sets parameters by name).
mapfile -t kdenlive_names < <(grep -o '<parameter [^>]*' "$kdenlive_xml" | sed -n 's/.* name="\([^"]*\)".*/\1/p')
kdenlive_defaults=$(grep -o '<parameter [^>]*' "$kdenlive_xml" | sed -n 's/.* default="\([^"]*\)".*/\1/p' | xargs)
[ ${#kdenlive_names[@]} -eq 6 ] || fail "the Kdenlive description has ${#kdenlive_names[@]} parameters"
# The five tracks, then the change view, off.
awk -v got="$kdenlive_defaults" -v want="$(values "$defaults" ' ') 0" 'BEGIN { n = split(got, g, " "); split(want, w, " ");
    for (i = 1; i <= 6; ++i) if (n != 6 || g[i] - w[i] > 1e-6 || w[i] - g[i] > 1e-6) exit 1 }' ||
    fail "Kdenlive defaults [$kdenlive_defaults] are not the editor's"
read -r -a strong_values <<< "$(values "$strong" ' ')"
by_name=()
for i in 0 1 2 3 4; do by_name+=("${kdenlive_names[$i]}=${strong_values[$i]}"); done
mlt_frames mlt-names.rgba "${by_name[@]}"
echo "MLT: ok"

# GStreamer, through its frei0r element, with an odd size.
props=$(values "$strong" ' ' | awk '{ split("brighten-amount darken-amount blur-reach blur-flatness threshold", n, " ");
    for (i = 1; i <= NF; ++i) printf "%s=%s ", n[i], $i }')
run gst-launch-1.0 -q filesrc location=b.rgba ! rawvideoparse width=97 height=61 format=rgba framerate=25/1 \
    ! frei0r-filter-velgarde $props ! filesink location=gst.rgba
same gst.rgba oddstrong.rgba
echo "gst-launch-1.0: ok"
