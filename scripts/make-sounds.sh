#!/usr/bin/env bash
# Synthesises the interface sounds in resources/sounds/ with sox.
#
# Each sound is built from sine tones, plucked strings or noise, and is cut to
# an exact number of samples so its length never drifts between sox builds.
# "sox -R" seeds sox's random numbers the same way on every run (the noise in
# the whoosh) and "-D" turns off dither, so the output bytes are repeatable.
#
# The plain PCM files are written as "wavpcm", which keeps them to a 16-byte
# fmt chunk and a data chunk; the ADPCM and u-law files are ordinary sox WAVE
# output (fmt with the codec's extra fields, fact, data).
#
# Usage: scripts/make-sounds.sh [OUTPUT_DIR]   (default: resources/sounds)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-"$here/../resources/sounds"}
mkdir -p "$out"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

sx() { sox -R -D -V1 "$@"; }

# The rate goes before "-n" too: it sets the rate the effects run at, so
# lengths given in samples mean what they say and nothing is resampled.
# Intermediate pieces are 32-bit float so nothing is rounded until the end.
f44=(-r 44100 -c 1 -e floating-point -b 32)
pcm16=(-t wavpcm -r 44100 -c 1 -e signed-integer -b 16)

# note FILE RATE SECONDS FREQ GAIN_DB: a bell-like tone (fundamental plus a
# quieter octave) that strikes quickly and dies away.
note() {
  sx -r "$2" -c 2 -n -e floating-point -b 32 "$tmp/two.wav" \
    synth "$3" sine "$4" sine "$(( $4 * 2 ))"
  sx "$tmp/two.wav" "$1" remix 1v0.8,2v0.2 fade h 0.004 fade h 0 "$3" "$3" gain "$5"
}

# RSTART: rising major arpeggio, C6 E6 G6, each note 55 ms after the last.
note "$tmp/s1.wav" 44100 0.347 1047 -6
note "$tmp/s2.wav" 44100 0.292 1319 -6
note "$tmp/s3.wav" 44100 0.237 1568 -6
sx "$tmp/s2.wav" "$tmp/s2d.wav" pad 0.055
sx "$tmp/s3.wav" "$tmp/s3d.wav" pad 0.110
sx -m "$tmp/s1.wav" "$tmp/s2d.wav" "$tmp/s3d.wav" "${pcm16[@]}" "$out/RSTART.wav" \
  norm -3 trim 0 15303s

# RCLICK: a very short, bright blip that decays almost at once.
sx -r 44100 -n "${pcm16[@]}" "$out/RCLICK.wav" \
  synth 617s sine 3200 fade h 0 617s 600s highpass 800 norm -4

# RTICK: a short tick, the right channel a touch lower, in Microsoft ADPCM.
sx -r 22050 -c 2 -n -e floating-point -b 32 "$tmp/tick.wav" \
  synth 684s sine 1800 sine 1700 fade h 10s 684s 660s norm -5
sx "$tmp/tick.wav" -t wav -e ms-adpcm -b 4 "$out/RTICK.wav"

# RPOP: a quick downward pitch drop, like a bubble bursting.
sx -r 44100 -n "${pcm16[@]}" "$out/RPOP.wav" \
  synth 1323s sine 1100-260 fade q 0.002 1323s 1200s norm -3

# RSTRUM: an open G chord strummed from the low string up, stored as u-law.
strings=(G2 B2 D3 G3 B3 G4)
delays=(0.010 0.022 0.034 0.046 0.058 0.070)
parts=()
for i in "${!strings[@]}"; do
  # sox plucks only at 44.1 kHz and up; the mix is resampled afterwards.
  sx -r 44100 -n "${f44[@]}" "$tmp/str$i.wav" \
    synth 0.188 pluck "${strings[$i]}" pad "${delays[$i]}" 0
  parts+=("$tmp/str$i.wav")
done
sx -m "${parts[@]}" -r 22050 -c 1 -e floating-point -b 32 "$tmp/strum.wav" \
  trim 0.010 lowpass 2500 rate 22050 trim 0 4145s fade h 0 4145s 0.09 norm -3
sx "$tmp/strum.wav" -t wav -e u-law -b 8 "$out/RSTRUM.wav"

# REXIT: the start chime turned downwards and let ring: G5 E5 C5 with a
# slow, gentle tremolo and a long tail.
note "$tmp/x1.wav" 44100 2.0 784 -6
note "$tmp/x2.wav" 44100 1.75 659 -6
note "$tmp/x3.wav" 44100 1.5 523 -4
sx "$tmp/x2.wav" "$tmp/x2d.wav" pad 0.25
sx "$tmp/x3.wav" "$tmp/x3d.wav" pad 0.50
sx -m "$tmp/x1.wav" "$tmp/x2d.wav" "$tmp/x3d.wav" "${f44[@]}" "$tmp/exit.wav" \
  tremolo 5 12 trim 0 88200s
sx "$tmp/exit.wav" "${pcm16[@]}" "$out/REXIT.wav" \
  fade h 0 88200s 0.6 norm -3

# RAIR: band-limited noise that swells and fades, its pitch sweeping up then
# back down so it moves past like a breath of air.
# bend delays its output a little, so the noise is made long, bent, and only
# then cut to length and given its envelope.
sx -r 44100 -n "${f44[@]}" "$tmp/air.wav" \
  synth 0.8 pinknoise highpass 300 lowpass 5000 \
  bend 0.1,500,0.30 0.40,-700,0.29
sx "$tmp/air.wav" "${pcm16[@]}" "$out/RAIR.wav" \
  trim 0.15 26284s fade q 0.26 26284s 0.30 norm -6
