#!/bin/sh
# Generates the demo sounds of data/sounds and data/voices with sox: mono
# waves for sounds placed in the world, stereo ones for flat (2D) sounds.
# Output is repeatable (sox -R); the generated files are committed.
set -e
cd "$(dirname "$0")/.."
command -v sox >/dev/null || { echo "gen_sounds.sh: install the Debian package sox" >&2; exit 1; }
S=data/sounds
V=data/voices
mkdir -p "$S" "$S/weapons" "$S/hero" "$V/Dialogues"

mono="-b 16 -c 1 -r 44100 -e signed-integer"
stereo="-b 16 -c 2 -r 44100 -e signed-integer"

# Flat sounds (stereo).
sox -R -n $stereo "$S/menu_click.wav" synth 0.06 sine 1800 sine 1200 fade 0 0.06 0.05 gain -6
sox -R -n $stereo "$S/ambient_wind.wav" synth 1.5 brownnoise brownnoise lowpass 600 fade 0.2 1.5 0.2 gain -10

# The hero's own flat sounds: the jump's push-off and the thud of a hard
# landing.
sox -R -n $stereo "$S/hero/skok.wav" synth 0.12 brownnoise sine 260 fade 0 0.12 0.1 gain -8
sox -R -n $stereo "$S/hero/spad.wav" synth 0.3 brownnoise sine 90 lowpass 500 fade 0 0.3 0.25 gain -4

# Placed sounds (mono).
sox -R -n $mono "$S/explosion.wav" synth 1.2 brownnoise fade 0 1.2 1.1 gain -3
sox -R -n $mono "$S/shell_casing.wav" synth 0.15 sine 3200 fade 0 0.15 0.14 gain -8
sox -R -n $mono "$S/ricochet.wav" synth 0.35 sine 2400-500 fade 0 0.35 0.3 gain -6
sox -R -n $mono "$S/impact_metal.wav" synth 0.12 pinknoise sine 900 fade 0 0.12 0.11 gain -6
# The normal explosion table of the effects: seven blasts of their own
# lengths and colours (short, at 22050 Hz, to keep the data small).
blast="-b 16 -c 1 -r 22050 -e signed-integer"
sox -R -n $blast "$S/weapons/barrelexplode_01.wav" synth 0.9 brownnoise fade 0 0.9 0.8 gain -3
sox -R -n $blast "$S/weapons/barrelexplode_02.wav" synth 1.0 brownnoise lowpass 500 fade 0 1.0 0.9 gain -2
sox -R -n $blast "$S/weapons/exp1.wav" synth 0.7 pinknoise lowpass 900 fade 0 0.7 0.6 gain -4
sox -R -n $blast "$S/weapons/exp2.wav" synth 0.8 brownnoise sine 60 fade 0 0.8 0.7 gain -4
sox -R -n $blast "$S/weapons/exp3.wav" synth 0.6 brownnoise lowpass 300 fade 0 0.6 0.5 gain -3
sox -R -n $blast "$S/weapons/exp4.wav" synth 0.9 pinknoise lowpass 400 fade 0 0.9 0.8 gain -5
sox -R -n $blast "$S/weapons/exp5.wav" synth 0.75 brownnoise sine 45 fade 0 0.75 0.7 gain -4
# A rigid body's sound when it wakes or knocks (the demo crate).
sox -R -n $mono "$S/crate_hit.wav" synth 0.18 brownnoise sine 180 fade 0 0.18 0.16 gain -6
# The demo world's sounds each keep to frequencies of their own, so that a
# capture of the game's output tells them apart from each other and from the
# dark loop's 74 Hz drone (tools/gen_music.sh):
# the machine's hum at 120 Hz and its overtones (8-bit, a whole number of
# cycles so that it loops without a click), the trigger zone's chime at 1000
# Hz, the radio's tune at 1500 Hz.
sox -R -n -b 8 -c 1 -r 22050 -e unsigned-integer "$S/machine_hum.wav" synth 1.0 sawtooth 120 lowpass 400 gain -6
sox -R -n $mono "$S/zone_chime.wav" synth 1.5 sine 1000 fade 0.01 1.5 0.3 gain -3
sox -R -n $mono "$S/radio_tune.wav" synth 2.0 sine 1500 tremolo 2 50 gain -6
# The lift's start: a low knock with a rattle.
sox -R -n $mono "$S/lift_start.wav" synth 0.4 brownnoise sine 300 fade 0 0.4 0.35 gain -6

# Voices (mono): a short two-tone "radio call" and a dialogue line stand-in.
sox -R -n $mono "$V/radio_call.wav" synth 0.25 sine 700 : synth 0.25 sine 950 gain -6
sox -R -n -b 16 -c 1 -r 22050 -e signed-integer "$V/Dialogues/L10T01.wav" \
    synth 0.9 sine 220 sine 440 tremolo 6 70 fade 0.05 0.9 0.1 gain -8
