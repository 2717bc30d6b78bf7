#!/usr/bin/env python3
"""Makes examples/chime.wav with libsndfile (through ctypes): a 22050 Hz, 16-bit mono chime
whose sustain loop is stored in the WAV "smpl" chunk by libsndfile's instrument support.

The loop is 2205 samples long (44 periods of 440 Hz), which is not a whole number of 32-bit
words for any output encoding, so converting it shows the resampling of the whole wave.
Run: python3 examples/make_example.py  (needs libsndfile1 installed)."""

import ctypes
import ctypes.util
import math
import os
import sys

RATE = 22050
ATTACK = 2205          # samples before the loop
LOOP = 2205            # loop length: 44 periods of 440 Hz, 22 of 880 Hz
TAIL = 1102            # samples after the loop (a converter cuts them)

SF_FORMAT_WAV, SF_FORMAT_PCM_16, SFM_WRITE = 0x010000, 0x0002, 0x20
SFC_SET_INSTRUMENT, SF_LOOP_FORWARD = 0x10D1, 801


class SF_INFO(ctypes.Structure):
    _fields_ = [("frames", ctypes.c_int64), ("samplerate", ctypes.c_int), ("channels", ctypes.c_int),
                ("format", ctypes.c_int), ("sections", ctypes.c_int), ("seekable", ctypes.c_int)]


class SF_LOOP(ctypes.Structure):
    _fields_ = [("mode", ctypes.c_int), ("start", ctypes.c_uint32), ("end", ctypes.c_uint32),
                ("count", ctypes.c_uint32)]


class SF_INSTRUMENT(ctypes.Structure):
    _fields_ = [("gain", ctypes.c_int), ("basenote", ctypes.c_char), ("detune", ctypes.c_char),
                ("velocity_lo", ctypes.c_char), ("velocity_hi", ctypes.c_char),
                ("key_lo", ctypes.c_char), ("key_hi", ctypes.c_char),
                ("loop_count", ctypes.c_int), ("loops", SF_LOOP * 16)]


def samples():
    out = []
    for n in range(ATTACK + LOOP + TAIL):
        t = n / RATE
        # A bright attack that dies away before the loop, over a steady 440 Hz + 880 Hz body.
        attack = 0.35 * math.exp(-t * 40) * math.sin(2 * math.pi * 1320 * t)
        body = 0.35 * math.sin(2 * math.pi * 440 * t) + 0.12 * math.sin(2 * math.pi * 880 * t)
        swell = min(1.0, n / 200)
        out.append(int(round(32767 * swell * (attack + body))))
    return out


def main():
    lib = ctypes.CDLL(ctypes.util.find_library("sndfile") or "libsndfile.so.1")
    lib.sf_open.restype = ctypes.c_void_p
    lib.sf_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(SF_INFO)]
    lib.sf_command.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
    lib.sf_write_short.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_short), ctypes.c_int64]
    lib.sf_close.argtypes = [ctypes.c_void_p]

    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "chime.wav")
    info = SF_INFO(0, RATE, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0)
    handle = lib.sf_open(path.encode(), SFM_WRITE, ctypes.byref(info))
    if not handle:
        sys.exit("cannot create " + path)
    inst = SF_INSTRUMENT()
    inst.basenote, inst.key_lo, inst.key_hi = b"\x45", b"\x00", b"\x7f"
    inst.velocity_lo, inst.velocity_hi = b"\x00", b"\x7f"
    inst.loop_count = 1
    inst.loops[0] = SF_LOOP(SF_LOOP_FORWARD, ATTACK, ATTACK + LOOP, 0)
    if not lib.sf_command(handle, SFC_SET_INSTRUMENT, ctypes.byref(inst), ctypes.sizeof(inst)):
        sys.exit("libsndfile refused the instrument chunk")
    data = samples()
    buf = (ctypes.c_short * len(data))(*data)
    lib.sf_write_short(handle, buf, len(data))
    lib.sf_close(handle)
    print(path)


if __name__ == "__main__":
    main()
