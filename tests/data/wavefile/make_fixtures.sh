#!/bin/sh
# Makes the wave files in this folder with third-party tools, then prints what those tools
# report about them (the expected values written into tests/wavefile/real_files_test.cpp).
# Made on Debian 12 with SoX 14.4.2, FFmpeg 5.1, libsndfile 1.2.0 and libaudiofile 0.3.6;
# README.md says what each file shows.
# Run from this folder: sh make_fixtures.sh
set -eu
sine="sine=frequency=440:sample_rate=8000:duration=0.05"
# -D: no dither, so that the bytes do not depend on a random generator.
sox -D -n -r 8000 -b 8 -e unsigned-integer -c 1 sox_u8.wav synth 0.05 sine 440
sox -D -n -r 11025 -b 24 -e signed-integer -c 1 -t wavpcm sox_s24.wav synth 0.04 sine 1000
sox -D -n -r 11025 -b 32 -e signed-integer -c 1 -t wavpcm sox_s32.wav synth 0.04 sine 1000
sox -D -n -r 8000 -b 16 -e signed-integer -c 1 sox_s16.aiff synth 0.05 sine 440
sox -D -n -r 8000 -b 32 -e signed-integer -c 1 sox_s32.aiff synth 0.05 sine 440
# FFmpeg writes a LIST/INFO chunk ahead of "data" (not -bitexact), and 24-bit WAV as
# WAVE_FORMAT_EXTENSIBLE.
ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "$sine" -c:a pcm_s16le ffmpeg_s16.wav
ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "$sine" -c:a pcm_s24le ffmpeg_s24_extensible.wav
ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "$sine" -c:a pcm_s8 -f aiff ffmpeg_s8.aiff
tmp=$(mktemp -d)
cc -O2 gen_sndfile.c -o "$tmp/gen_sndfile" -lsndfile -lm
cc -O2 gen_audiofile.c -o "$tmp/gen_audiofile" -laudiofile -lm
"$tmp/gen_sndfile"
"$tmp/gen_audiofile"
rm -r "$tmp"

for f in *.wav *.aiff; do
    echo "== $f: $(soxi -t "$f") rate $(soxi -r "$f") channels $(soxi -c "$f")" \
         "bits $(soxi -b "$f") samples $(soxi -s "$f")"
    # The samples as SoX decodes them, left-justified in 32 bits: four of them, and the plain
    # and the index-weighted sums of their top 16 bits (what a reader truncating to 16 bits must
    # deliver, in that order).
    sox "$f" -t s32 - 2>/dev/null | python3 -c '
import struct, sys
data = sys.stdin.buffer.read()
v = struct.unpack("<%di" % (len(data) // 4), data)
print("   s32[0,1,57,last] = %d %d %d %d; sum16 = %d; wsum16 = %d" % (v[0], v[1], v[57],
      v[-1], sum(x >> 16 for x in v), sum((i + 1) * (x >> 16) for i, x in enumerate(v))))' || echo "   (SoX cannot decode it)"
done
sndfile-info sndfile_loop16.wav | grep -E "Midi Note|Loop Count|Start"
sox -V3 audiofile_loop16.aiff -n 2>&1 | grep -E "Loop 0|end:|Unity"
