#!/bin/sh
# Inputs for the conversion tests, written by sox (not by tonecast's own library).
# Run from this folder: sh make.sh
set -e
# 0.25 s of a 440 Hz tone under a decaying 3 kHz partial, 16-bit mono, 22050 Hz, no loop.
sox -n -r 22050 -b 16 -c 1 -e signed-integer tone16.wav \
    synth 0.25 sine 440 synth 0.25 sine amod 3000 vol 0.6 fade 0 0.25 0.05
sox tone16.wav -b 16 tone16.aiff
sox tone16.wav -b 8 -e unsigned-integer tone8.wav
sox tone16.wav -c 2 stereo.wav
