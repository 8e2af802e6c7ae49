#!/bin/sh
# Generates the demo music of data/music: short stereo loops and a gong
# rendered with sox and encoded to Ogg Vorbis with oggenc (vorbis-tools).
# These are the files the music director asks for in the demo world
# (worlds\test.w): its action loop (also the alarm loop), the dark loop and
# the gong. Output is repeatable (sox -R, fixed Ogg serial numbers); the
# generated files are committed.
set -e
cd "$(dirname "$0")/.."
for tool in sox oggenc; do
    command -v $tool >/dev/null || { echo "gen_music.sh: install the Debian packages sox and vorbis-tools" >&2; exit 1; }
done
M=data/music
mkdir -p "$M/loop"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

stereo="-b 16 -c 2 -r 44100 -e signed-integer"

# Action loop: 4 s at 120 beats a minute, a pulsing bass under a fifth, with
# whole cycles of every tone so that the end meets the beginning.
sox -R -n $stereo "$tmp/bass.wav" synth 4 square 55 gain -14 tremolo 2 90 lowpass 500
sox -R -n $stereo "$tmp/fifth.wav" synth 4 sine 220 sine 330 tremolo 8 60 gain -18
sox -R -m "$tmp/bass.wav" "$tmp/fifth.wav" "$tmp/action.wav"
oggenc -Q -q 3 -s 1003 -o "$M/loop/loopAction03.ogg" "$tmp/action.wav"

# Dark loop: 4 s of a low drone with slow beating between the channels.
sox -R -n $stereo "$tmp/dark.wav" synth 4 sine 73.5 sine 74 gain -12 tremolo 0.5 40 lowpass 400
oggenc -Q -q 3 -s 1001 -o "$M/dark1_loop.ogg" "$tmp/dark.wav"

# Gong: 2 s, struck once and dying away.
sox -R -n $stereo "$tmp/gong.wav" synth 2 sine 110 sine 277 fade q 0.005 2 1.9 gain -8
oggenc -Q -q 3 -s 1002 -o "$M/gong_02.ogg" "$tmp/gong.wav"
