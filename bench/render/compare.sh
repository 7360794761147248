#!/usr/bin/env bash
# End-to-end render of a 10-minute 48 kHz file: patchhost render next to sox
# and ffmpeg on the same file in the same run (best of three, wall clock).
# The peers' heights are their fast cases (an FFT length that is a power of
# two).  sox and ffmpeg are installed here for the benchmark only.
set -euo pipefail
BUILD="$1"
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

ours=$(best "$BUILD/apps/patchhost/patchhost" render "$work/ten.wav" -o "$work/ours.png" --size 1200x1025)
sox_t=$(best sox "$work/ten.wav" -n spectrogram -x 1200 -y 1025 -o "$work/sox.png")
ff_t=$(best ffmpeg -y -i "$work/ten.wav" -lavfi showspectrumpic=s=1200x1024 "$work/ffmpeg.png")
printf '\nrender of a 10-minute 48 kHz file, best of 3 (wall clock):\n'
printf '  patchhost render --size 1200x1025   %s s  (all 28,124 frames analysed)\n' "$ours"
printf '  sox spectrogram -x 1200 -y 1025     %s s\n' "$sox_t"
printf '  ffmpeg showspectrumpic=s=1200x1024  %s s\n' "$ff_t"
