#!/usr/bin/env bash
# End-to-end renders with patchhost render, each next to its reference in
# the same run (best of three, wall clock):
#   - a 10-minute 48 kHz file: the box image at 1200 x 1025 next to sox and
#     ffmpeg (their fast heights, an FFT length that is a power of two), and
#     the default figure next to sox drawing the same plot size;
#   - a folder of 100 one-minute files rendered in one call (-j the
#     processors) next to the same files one call each.
# sox, ffmpeg and GNU time are installed here for the benchmark only.
set -euo pipefail
BUILD="$1"
PATCHHOST="$BUILD/apps/patchhost/patchhost"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! command -v sox >/dev/null || ! command -v ffmpeg >/dev/null || [[ ! -x /usr/bin/time ]]; then
    echo "installing sox, ffmpeg and time for the comparison" >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends sox ffmpeg time >/dev/null
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
timed() { # command: prints "WALL CPU" in seconds (CPU = user + system)
    /usr/bin/time -f '%e %U %S' bash -c "$1" 2>&1 >/dev/null | tail -1 | awk '{printf "%.3f %.3f\n", $1, $2 + $3}'
}
min() { awk -v a="$1" -v b="$2" 'BEGIN{print (b<a)?b:a}'; }
# Two commands, alternating `rounds` times so that both see the same load on
# a shared machine; sets A_WALL A_CPU B_WALL B_CPU to the best of each.
alternate() { # rounds command-a command-b
    A_WALL=999 A_CPU=999 B_WALL=999 B_CPU=999
    local w c
    for _ in $(seq "$1"); do
        read -r w c < <(timed "$2")
        A_WALL=$(min "$A_WALL" "$w") A_CPU=$(min "$A_CPU" "$c")
        read -r w c < <(timed "$3")
        B_WALL=$(min "$B_WALL" "$w") B_CPU=$(min "$B_CPU" "$c")
    done
}
export PATCHHOST work

plain=$(best "$PATCHHOST" render "$work/ten.wav" -o "$work/ours.png" --plain --size 1200x1025)
ff_t=$(best ffmpeg -y -i "$work/ten.wav" -lavfi showspectrumpic=s=1200x1024 "$work/ffmpeg.png")
# The figure's plot is 1054 x 326 pixels inside its 1200 x 400 image.  sox
# is slow at that height (its FFT length 2 x 325 is not a power of two), so
# the references are its fast heights: 1025 rows (the comparison the box
# image has always had) and 513, the one just above the plot.
sox_same=$(best sox -V1 "$work/ten.wav" -n spectrogram -x 1054 -y 326 -o "$work/sox-same.png")
figure='"$PATCHHOST" render "$work/ten.wav" -o "$work/figure.png"'
alternate 5 "$figure" 'sox -V1 "$work/ten.wav" -n spectrogram -x 1200 -y 1025 -o "$work/sox.png"'
fig_wall=$A_WALL fig_cpu=$A_CPU sox_wall=$B_WALL sox_cpu=$B_CPU
alternate 5 "$figure" 'sox -V1 "$work/ten.wav" -n spectrogram -x 1054 -y 513 -o "$work/sox-fig.png"'
printf '\nrender of a 10-minute 48 kHz file, best of 3 (wall clock):\n'
printf '  patchhost render --plain --size 1200x1025   %s s  (all 28,124 frames analysed)\n' "$plain"
printf '  ffmpeg showspectrumpic=s=1200x1024          %s s\n' "$ff_t"
printf '  sox spectrogram -x 1054 -y 326 (same plot)  %s s\n' "$sox_same"
printf 'the default figure next to sox, each pair best of 5 alternating (load %s):\n' \
    "$(cut -d' ' -f1 /proc/loadavg)"
printf '                                              wall       processor\n'
printf '  patchhost render (default figure)           %7.3f s  %7.3f s\n' "$fig_wall" "$fig_cpu"
printf '  sox spectrogram -x 1200 -y 1025             %7.3f s  %7.3f s\n' "$sox_wall" "$sox_cpu"
printf '  figure / sox -y 1025                        %7s    %7s    (target at most 1.10)\n' \
    "$(ratio "$fig_wall" "$sox_wall")" "$(ratio "$fig_cpu" "$sox_cpu")"
printf '  patchhost render (default figure)           %7.3f s  %7.3f s\n' "$A_WALL" "$A_CPU"
printf '  sox spectrogram -x 1054 -y 513             %7.3f s  %7.3f s\n' "$B_WALL" "$B_CPU"
printf '  figure / sox -y 513                         %7s    %7s\n' \
    "$(ratio "$A_WALL" "$B_WALL")" "$(ratio "$A_CPU" "$B_CPU")"

# 100 one-minute files (hard links of one file: the same bytes to read).
mkdir "$work/folder" "$work/out-batch" "$work/out-each"
"$BUILD/apps/demo/make-demo-sound" "$work/minute.wav" 60 1
for i in $(seq -w 1 100); do ln "$work/minute.wav" "$work/folder/m$i.wav"; done
each() {
    for f in "$work"/folder/*.wav; do
        "$PATCHHOST" render "$f" -o "$work/out-each/$(basename "$f" .wav).png" || return 1
    done
}
batch() { "$PATCHHOST" render "$work/folder" -o "$work/out-batch/" --quiet; }
export -f each batch
alternate 3 batch each
printf '\n100 one-minute 48 kHz files, default figure, best of 3 alternating (%s processors, load %s):\n' \
    "$(nproc)" "$(cut -d' ' -f1 /proc/loadavg)"
printf '                                              wall       processor\n'
printf '  patchhost render FOLDER -o DIR/             %7.3f s  %7.3f s\n' "$A_WALL" "$A_CPU"
printf '  patchhost render FILE, one call per file    %7.3f s  %7.3f s\n' "$B_WALL" "$B_CPU"
printf '  speed-up                                    %7s    %7s    (target at least 1.50)\n' \
    "$(ratio "$B_WALL" "$A_WALL")" "$(ratio "$B_CPU" "$A_CPU")"
