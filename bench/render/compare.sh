#!/usr/bin/env bash
# End-to-end renders with patchhost render, each next to its reference in
# the same run (best of three, wall clock):
#   - a 10-minute 48 kHz file: the box image at 1200 x 1025 next to sox and
#     ffmpeg (their fast heights, an FFT length that is a power of two), and
#     the default figure next to sox drawing the same plot size;
#   - a folder of 100 one-minute files rendered in one call (-j the
#     processors) next to the same files one call each.
# sox and ffmpeg are installed here for the benchmark only.
set -euo pipefail
BUILD="$1"
PATCHHOST="$BUILD/apps/patchhost/patchhost"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! command -v sox >/dev/null || ! command -v ffmpeg >/dev/null; then
    echo "installing sox and ffmpeg for the comparison" >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends sox ffmpeg >/dev/null
fi
"$BUILD/apps/demo/make-demo-sound" "$work/ten.wav" 600 1

best() { # command...: the best wall time of three runs, in seconds
    local b=999
    for _ in 1 2 3; do
        local t0 t1
        t0=$(date +%s.%N)
        "$@" >/dev/null 2>&1
        t1=$(date +%s.%N)
        b=$(awk -v a="$b" -v d="$(awk -v x="$t0" -v y="$t1" 'BEGIN{print y-x}')" 'BEGIN{print (d<a)?d:a}')
    done
    printf '%.3f' "$b"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.2f", a/b}'; }

plain=$(best "$PATCHHOST" render "$work/ten.wav" -o "$work/ours.png" --plain --size 1200x1025)
figure=$(best "$PATCHHOST" render "$work/ten.wav" -o "$work/figure.png")
sox_t=$(best sox "$work/ten.wav" -n spectrogram -x 1200 -y 1025 -o "$work/sox.png")
# The figure's plot is 1054 x 326 pixels inside its 1200 x 400 image.  sox
# is slow at that height (its FFT length 2 x 325 is not a power of two), so
# the reference is its fast height above it, 513 rows.
sox_fig=$(best sox "$work/ten.wav" -n spectrogram -x 1054 -y 513 -o "$work/sox-fig.png")
sox_same=$(best sox "$work/ten.wav" -n spectrogram -x 1054 -y 326 -o "$work/sox-same.png")
ff_t=$(best ffmpeg -y -i "$work/ten.wav" -lavfi showspectrumpic=s=1200x1024 "$work/ffmpeg.png")
printf '\nrender of a 10-minute 48 kHz file, best of 3 (wall clock):\n'
printf '  patchhost render --plain --size 1200x1025   %s s  (all 28,124 frames analysed)\n' "$plain"
printf '  sox spectrogram -x 1200 -y 1025             %s s\n' "$sox_t"
printf '  ffmpeg showspectrumpic=s=1200x1024          %s s\n' "$ff_t"
printf '  patchhost render (default figure)           %s s\n' "$figure"
printf '  sox spectrogram -x 1054 -y 513             %s s\n' "$sox_fig"
printf '  sox spectrogram -x 1054 -y 326 (same plot)  %s s\n' "$sox_same"
printf '  figure / sox -y 513                         %s  (target at most 1.10)\n' "$(ratio "$figure" "$sox_fig")"

# 100 one-minute files (hard links of one file: the same bytes to read).
mkdir "$work/folder" "$work/out-batch" "$work/out-each"
"$BUILD/apps/demo/make-demo-sound" "$work/minute.wav" 60 1
for i in $(seq -w 1 100); do ln "$work/minute.wav" "$work/folder/m$i.wav"; done
each() {
    for f in "$work"/folder/*.wav; do
        "$PATCHHOST" render "$f" -o "$work/out-each/$(basename "$f" .wav).png" || return 1
    done
}
batch=$(best "$PATCHHOST" render "$work/folder" -o "$work/out-batch/" --quiet)
one_each=$(best each)
printf '\n100 one-minute 48 kHz files, default figure, best of 3 (wall clock, %s processors):\n' "$(nproc)"
printf '  patchhost render FOLDER -o DIR/             %s s\n' "$batch"
printf '  patchhost render FILE, one call per file    %s s\n' "$one_each"
printf '  speed-up                                    %s  (target at least 1.50)\n' "$(ratio "$one_each" "$batch")"
