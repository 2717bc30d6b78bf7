#!/bin/sh
# Makes the sound files in this folder with FFmpeg, SoX and libsndfile: the formats that those
# tools write by default for float samples, samples wider than 16 bits, rates above 48 kHz and
# AIFF-C, each beside a plain 16-bit WAV of the same signal (the reference the converter's
# output is compared with), and a few encodings that stay refused. README.md lists them.
# Made on Debian 12 with FFmpeg 5.1, SoX 14.4.2 and libsndfile 1.2.0
# (apt-get install ffmpeg sox sndfile-programs). Run from this folder: sh make.sh
set -eu
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

# FFmpeg's sine source makes 16-bit samples: every wider or float copy of them holds the same
# values exactly. FFmpeg writes WAVE_FORMAT_EXTENSIBLE by itself for more than 16 bits, for
# floats and for rates above 48 kHz, and AIFF-C ('sowt', 'fl32') for little-endian and float
# samples given to its AIFF muxer.
sine="sine=frequency=440:sample_rate=8000:duration=0.05"
ff -f lavfi -i "$sine" -c:a pcm_s16le ffmpeg_s16.wav
ff -f lavfi -i "$sine" -c:a pcm_s24le ffmpeg_s24.wav
ff -f lavfi -i "$sine" -c:a pcm_s32le ffmpeg_s32.wav
ff -f lavfi -i "$sine" -c:a pcm_f32le ffmpeg_f32.wav
ff -f lavfi -i "$sine" -c:a pcm_s16le -f aiff ffmpeg_sowt.aifc
ff -f lavfi -i "$sine" -c:a pcm_f32be -f aiff ffmpeg_f32.aifc
ff -f lavfi -i "sine=frequency=440:sample_rate=96000:duration=0.01" -c:a pcm_s16le \
    ffmpeg_s16_96k.wav
# Its reference: the same samples rewritten by SoX as plain PCM (format tag 1).
sox ffmpeg_s16_96k.wav -t wavpcm sox_s16_96k.wav

# SoX's synth makes 32-bit samples: its 16-bit file rounds them, its float files keep them to
# a float's precision, so the two agree within one step. -D: no dither, no random bytes. SoX
# writes float WAV as format tag 3 with an 18-byte "fmt ", and AIFF-C with a compression name.
synth="synth 0.05 sine 440"
sox -D -n -r 8000 -c 1 -b 16 -e signed-integer sox_s16.wav $synth
sox -D -n -r 8000 -c 1 -b 32 -e floating-point sox_f32.wav $synth
sox -D -n -r 8000 -c 1 -b 64 -e floating-point sox_f64.wav $synth
sox -D -n -r 8000 -c 1 -b 16 -e signed-integer sox_s16.aifc $synth
sox -D -n -r 8000 -c 1 -b 32 -e floating-point sox_f32.aifc $synth
sox -D -n -r 8000 -c 1 -b 64 -e floating-point sox_f64.aifc $synth

# libsndfile writes the float type in capitals ('FL32') and adds a PEAK chunk (with a time
# stamp: those bytes change from run to run). From a float source it copies the floats; from
# integers it would scale them to peak at 1.0.
sndfile-convert -float32 sox_f32.wav sndfile_f32.aifc

# Encodings that stay refused: IMA-ADPCM and mu-law in AIFF-C, a-law and mu-law WAV
# (format tags 6 and 7).
short="sine=frequency=440:sample_rate=8000:duration=0.01"
ff -f lavfi -i "$short" -c:a adpcm_ima_qt -f aiff ffmpeg_ima4.aifc
ff -f lavfi -i "$short" -c:a pcm_mulaw -f aiff ffmpeg_ulaw.aifc
ff -f lavfi -i "$short" -c:a pcm_alaw ffmpeg_alaw.wav
ff -f lavfi -i "$short" -c:a pcm_mulaw ffmpeg_mulaw.wav

# What SoX says about each file.
for f in *.wav *.aifc; do
    info=$(soxi -V1 "$f" 2>/dev/null | grep -E "^(Sample|Bit|Sample Enc|Channels)" | tr -s ' ' |
           tr '\n' ';') || info="SoX cannot read it"
    echo "== $f ($(wc -c <"$f") bytes): ${info:-SoX cannot read it}"
done
