#!/usr/bin/env python3
"""Writes the hand-made seeds of the fuzz corpus: small WAV and AIFF files, well-formed and
malformed (sizes that lie, counts past the data, a second format chunk, rates of zero, infinity
and beyond 32 bits, loops outside the wave, floating-point, extensible and AIFF-C variants), and
seeds for the other targets. The real files
made by other tools are copied from tests/data by this script as well.

Run from the repository's root: python3 fuzz/make_seeds.py
Every file is rewritten; files the fuzzer added (named by their SHA-1) are left alone.
"""

import math
import os
import shutil
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.path.join(ROOT, "fuzz", "corpus")


def put(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# --- WAV ------------------------------------------------------------------------------------

def chunk_le(tag, body, size=None, pad=True):
    size = len(body) if size is None else size
    out = tag + struct.pack("<I", size & 0xFFFFFFFF) + body
    if pad and len(body) % 2:
        out += b"\0"
    return out


def fmt(tag=1, channels=1, rate=8000, bits=16, extra=b""):
    width = (bits + 7) // 8
    align = (width * channels) & 0xFFFF
    return chunk_le(b"fmt ", struct.pack("<HHIIHH", tag, channels, rate & 0xFFFFFFFF,
                                         (rate * align) & 0xFFFFFFFF, align, bits) + extra)


def smpl(loops, count=None, unity=60):
    count = len(loops) if count is None else count
    body = struct.pack("<9I", 0, 0, 0, unity, 0, 0, 0, count & 0xFFFFFFFF, 0)
    for start, end_inclusive in loops:
        body += struct.pack("<6I", 0, 0, start & 0xFFFFFFFF, end_inclusive & 0xFFFFFFFF, 0, 0)
    return chunk_le(b"smpl", body)


def riff(*chunks, riff_size=None):
    body = b"WAVE" + b"".join(chunks)
    size = len(body) if riff_size is None else riff_size
    return b"RIFF" + struct.pack("<I", size & 0xFFFFFFFF) + body


def sine16(n, period=23.0, amp=12000):
    return b"".join(struct.pack("<h", int(amp * math.sin(2 * math.pi * i / period)))
                    for i in range(n))


def wav_seeds():
    s = sine16(64)
    yield "wav-plain16", riff(fmt(), chunk_le(b"data", s))
    yield "wav-loop-45-of-64", riff(fmt(), chunk_le(b"data", s), smpl([(19, 63)]))
    yield "wav-loop-odd-start", riff(fmt(rate=32000), smpl([(5, 20)]), chunk_le(b"data", s))
    yield "wav-loop-one-sample", riff(fmt(), chunk_le(b"data", s), smpl([(63, 63)]))
    yield "wav-loop-end-past-data", riff(fmt(), chunk_le(b"data", s), smpl([(3, 5000)]))
    yield "wav-loop-start-after-end", riff(fmt(), chunk_le(b"data", s), smpl([(40, 10)]))
    yield "wav-loop-end-ffffffff", riff(fmt(), chunk_le(b"data", s), smpl([(0, 0xFFFFFFFF)]))
    yield "wav-loop-start-negative", riff(fmt(), chunk_le(b"data", s), smpl([(0x80000000, 9)]))
    yield "wav-two-loops", riff(fmt(), chunk_le(b"data", s), smpl([(8, 31), (0, 63)]))
    yield "wav-smpl-count-ffffffff", riff(fmt(), chunk_le(b"data", s), smpl([(0, 9)], 0xFFFFFFFF))
    yield "wav-smpl-count-past-chunk", riff(fmt(), smpl([(0, 9)], 2), chunk_le(b"data", s))
    yield "wav-data-size-ffffffff", riff(fmt(), chunk_le(b"data", s, 0xFFFFFFFF))
    yield "wav-data-size-7fffffff", riff(fmt(), chunk_le(b"data", s, 0x7FFFFFFF))
    yield "wav-data-size-80000000", riff(fmt(), chunk_le(b"data", s, 0x80000000))
    yield "wav-data-past-eof", riff(fmt(), chunk_le(b"data", s, 100000))
    yield "wav-data-odd-no-pad", riff(fmt(bits=8), chunk_le(b"data", b"\x80" * 7, pad=False),
                                     chunk_le(b"LIST", b"INFO"))
    yield "wav-second-fmt-stereo", riff(fmt(), chunk_le(b"data", s), fmt(channels=2))
    yield "wav-second-fmt-24bit", riff(fmt(), chunk_le(b"data", s), fmt(bits=24))
    yield "wav-no-fmt", riff(chunk_le(b"data", s))
    yield "wav-no-data", riff(fmt())
    yield "wav-fmt-short", riff(chunk_le(b"fmt ", b"\1\0\1\0" + b"\0" * 10), chunk_le(b"data", s))
    yield "wav-fmt-extensible", riff(fmt(bits=24, extra=b"\x16\0" + b"\0" * 22),
                                     chunk_le(b"data", s[:60]))
    yield "wav-bits-0", riff(fmt(bits=0), chunk_le(b"data", s))
    yield "wav-bits-12", riff(fmt(bits=12), chunk_le(b"data", s))
    yield "wav-bits-20", riff(fmt(bits=20), chunk_le(b"data", s[:63]))
    yield "wav-bits-33", riff(fmt(bits=33), chunk_le(b"data", s))
    yield "wav-bits-ffff", riff(fmt(bits=0xFFFF), chunk_le(b"data", s))
    yield "wav-channels-0", riff(fmt(channels=0), chunk_le(b"data", s))
    yield "wav-stereo", riff(fmt(channels=2), chunk_le(b"data", s))
    f32 = b"".join(struct.pack("<f", v) for v in (0.0, 0.5, -0.5, 1.0, -1.0, 1.5, -2.0,
                                                     float("nan"), float("inf"), 1 / 32768))
    f64 = b"".join(struct.pack("<d", v) for v in (0.25, -1.0, 1.0, float("-inf"), 3e-300))
    guid_tail = struct.pack("<HH", 0x0000, 0x0010) + bytes.fromhex("800000AA00389B71")
    def extensible(sub, bits, cb=22):
        return struct.pack("<HHI", cb, bits, 4) + struct.pack("<I", sub) + guid_tail
    yield "wav-float", riff(fmt(tag=3, bits=32), chunk_le(b"data", f32))
    yield "wav-float64", riff(fmt(tag=3, bits=64), chunk_le(b"data", f64), smpl([(1, 3)]))
    yield "wav-float16", riff(fmt(tag=3, bits=16), chunk_le(b"data", s))
    yield "wav-extensible-pcm", riff(fmt(tag=0xFFFE, bits=16, extra=extensible(1, 16)),
                                     chunk_le(b"data", s))
    yield "wav-extensible-float", riff(fmt(tag=0xFFFE, bits=32, extra=extensible(3, 32)),
                                       chunk_le(b"data", f32))
    yield "wav-extensible-cbsize-short", riff(fmt(tag=0xFFFE, bits=16,
                                                  extra=extensible(1, 16, cb=20)),
                                              chunk_le(b"data", s))
    yield "wav-extensible-fmt-short", riff(fmt(tag=0xFFFE, bits=16, extra=b"\x16\0\x10\0"),
                                           chunk_le(b"data", s))
    yield "wav-extensible-other-guid", riff(fmt(tag=0xFFFE, bits=16,
                                                extra=extensible(1, 16)[:-1] + b"\x72"),
                                            chunk_le(b"data", s))
    yield "wav-rate-0", riff(fmt(rate=0), chunk_le(b"data", s))
    yield "wav-rate-1", riff(fmt(rate=1), chunk_le(b"data", s), smpl([(1, 8)]))
    yield "wav-rate-ffffffff", riff(fmt(rate=0xFFFFFFFF), chunk_le(b"data", s), smpl([(62, 62)]))
    yield "wav-rate-255", riff(fmt(rate=255), chunk_le(b"data", s))
    yield "wav-chunk-size-ffffffff", riff(fmt(), chunk_le(b"junk", b"", 0xFFFFFFFF),
                                          chunk_le(b"data", s))
    yield "wav-stray-bytes", riff(fmt(), chunk_le(b"data", s)) + b"abc"
    yield "wav-riff-size-lies", riff(fmt(), chunk_le(b"data", s), riff_size=4)
    yield "wav-empty-data", riff(fmt(), chunk_le(b"data", b""))
    yield "wav-header-only", b"RIFF\0\0\0\0WAVE"
    yield "wav-not-riff", b"RIFX\0\0\0\0WAVE" + fmt() + chunk_le(b"data", s)


# --- AIFF -----------------------------------------------------------------------------------

def chunk_be(tag, body, size=None, pad=True):
    size = len(body) if size is None else size
    out = tag + struct.pack(">I", size & 0xFFFFFFFF) + body
    if pad and len(body) % 2:
        out += b"\0"
    return out


def ext80(value):
    if value == 0:
        return b"\0" * 10
    f, e = math.frexp(value)
    m = int(f * (1 << 64))
    return struct.pack(">HQ", e + 16382, m)


def comm(channels=1, frames=64, bits=16, rate=ext80(8000), compression=b""):
    return chunk_be(b"COMM", struct.pack(">hIh", channels, frames & 0xFFFFFFFF, bits) + rate +
                    compression)


def pascal(text):
    out = bytes([len(text)]) + text
    return out + (b"\0" if len(out) % 2 else b"")


def ssnd(data, offset=0, block=0, size=None):
    return chunk_be(b"SSND", struct.pack(">II", offset, block) + data,
                    None if size is None else size)


def mark(markers, count=None):
    count = len(markers) if count is None else count
    body = struct.pack(">H", count)
    for mid, pos, name in markers:
        body += struct.pack(">hIB", mid, pos & 0xFFFFFFFF, len(name)) + name
        if (len(name) + 1) % 2:
            body += b"\0"
    return chunk_be(b"MARK", body)


def inst(mode=1, begin=1, end=2, note=60):
    return chunk_be(b"INST", struct.pack(">6bh3h3h", note, 0, 0, 127, 1, 127, 0,
                                         mode, begin, end, 0, 0, 0))


def form(*chunks, form_type=b"AIFF"):
    body = form_type + b"".join(chunks)
    return b"FORM" + struct.pack(">I", len(body)) + body


def be16(n, period=19.0, amp=9000):
    return b"".join(struct.pack(">h", int(amp * math.sin(2 * math.pi * i / period)))
                    for i in range(n))


def aiff_seeds():
    d = be16(64)
    loop = [(1, 11, b"begin"), (2, 64, b"end")]
    yield "aiff-plain16", form(comm(), ssnd(d))
    yield "aiff-loop-53-of-64", form(comm(), mark(loop), inst(), ssnd(d))
    yield "aiff-loop-pingpong", form(comm(), mark(loop), inst(mode=2), ssnd(d))
    yield "aiff-loop-missing-marker", form(comm(), mark(loop[:1]), inst(end=7), ssnd(d))
    yield "aiff-loop-end-before-start", form(comm(), mark([(1, 50, b""), (2, 9, b"")]), inst(),
                                            ssnd(d))
    yield "aiff-loop-end-ffffffff", form(comm(), mark([(1, 3, b"a"), (2, 0xFFFFFFFF, b"b")]),
                                         inst(), ssnd(d))
    yield "aiff-mark-count-ffff", form(comm(), mark(loop, 0xFFFF), inst(), ssnd(d))
    yield "aiff-mark-duplicate-ids", form(comm(), mark([(1, 3, b"x"), (1, 9, b"yy"), (2, 30, b"")]),
                                          inst(), ssnd(d))
    yield "aiff-mark-name-past-eof", form(comm(), ssnd(d)) + b"MARK\0\0\0\x20\0\1\0\1\0\0\0\1\xff"
    yield "aiff-frames-ffffffff", form(comm(frames=0xFFFFFFFF), ssnd(d))
    yield "aiff-frames-past-data", form(comm(frames=100000), ssnd(d))
    yield "aiff-bits-negative", form(comm(bits=-8), ssnd(d))
    yield "aiff-bits-0", form(comm(bits=0), ssnd(d))
    yield "aiff-bits-12", form(comm(bits=12), ssnd(d))
    yield "aiff-bits-24", form(comm(bits=24), ssnd(d[:63]))
    yield "aiff-bits-40", form(comm(bits=40), ssnd(d))
    yield "aiff-channels-negative", form(comm(channels=-1), ssnd(d))
    yield "aiff-stereo", form(comm(channels=2, frames=32), ssnd(d))
    yield "aiff-rate-zero", form(comm(rate=b"\0" * 10), ssnd(d))
    yield "aiff-rate-inf", form(comm(rate=b"\x7f\xff" + b"\0" * 8), ssnd(d))
    yield "aiff-rate-neg-inf", form(comm(rate=b"\xff\xff" + b"\x80" + b"\0" * 7), ssnd(d))
    yield "aiff-rate-negative", form(comm(rate=b"\xc0\x0e\xac\x44" + b"\0" * 6), ssnd(d))
    yield "aiff-rate-denormal", form(comm(rate=b"\0\0\0\0\0\0\0\0\0\1"), ssnd(d))
    yield "aiff-rate-2e32", form(comm(rate=ext80(2.0 ** 32)), mark(loop), inst(), ssnd(d))
    yield "aiff-rate-below-1", form(comm(rate=ext80(0.75)), ssnd(d))
    yield "aiff-rate-fraction", form(comm(rate=ext80(22050.5)), mark(loop), inst(), ssnd(d))
    yield "aiff-rate-huge-exponent", form(comm(rate=b"\x7f\xfe\xff" + b"\xff" * 7), ssnd(d))
    yield "aiff-ssnd-offset", form(comm(), ssnd(d, offset=4))
    yield "aiff-ssnd-size-7", form(comm(), chunk_be(b"SSND", b"\0" * 7))
    yield "aiff-ssnd-size-ffffffff", form(comm(), ssnd(d, size=0xFFFFFFFF))
    yield "aiff-ssnd-size-7fffffff", form(comm(), ssnd(d, size=0x7FFFFFFF))
    yield "aiff-ssnd-past-eof", form(comm(), ssnd(d, size=5000))
    yield "aiff-comm-short", form(chunk_be(b"COMM", b"\0\1\0\0\0\x40\0\x10"), ssnd(d))
    yield "aiff-second-comm-stereo", form(comm(), ssnd(d), comm(channels=2))
    yield "aiff-no-comm", form(ssnd(d))
    yield "aiff-no-ssnd", form(comm())
    yield "aiff-header-only", b"FORM\0\0\0\4AIFF"
    yield "aifc-comm-without-type", form(comm(), ssnd(d), form_type=b"AIFC")
    yield "aifc-none", form(comm(compression=b"NONE" + pascal(b"not compressed")), ssnd(d),
                            form_type=b"AIFC")
    yield "aifc-none-no-name", form(comm(compression=b"NONE"), mark(loop), inst(), ssnd(d),
                                    form_type=b"AIFC")
    yield "aifc-sowt", form(b"FVER" + struct.pack(">II", 4, 0xA2805140),
                            comm(compression=b"sowt" + pascal(b"")), ssnd(sine16(64)),
                            form_type=b"AIFC")
    fl32 = b"".join(struct.pack(">f", v) for v in (0.0, 0.5, -1.0, 1.0, 2.0, float("nan")))
    fl64 = b"".join(struct.pack(">d", v) for v in (0.0, -0.75, 1.0, float("inf")))
    yield "aifc-fl32", form(comm(frames=6, bits=32, compression=b"fl32" + pascal(b"float")),
                            ssnd(fl32), form_type=b"AIFC")
    yield "aifc-FL64", form(comm(frames=4, bits=64, compression=b"FL64" + pascal(b"")),
                            mark(loop), inst(), ssnd(fl64), form_type=b"AIFC")
    yield "aifc-fl32-bits-16", form(comm(compression=b"fl32" + pascal(b"")), ssnd(d),
                                    form_type=b"AIFC")
    yield "aifc-ima4", form(comm(compression=b"ima4" + pascal(b"IMA 4:1")), ssnd(d),
                            form_type=b"AIFC")
    yield "aifc-name-past-chunk", form(chunk_be(b"COMM", struct.pack(">hIh", 1, 64, 16) +
                                                ext80(8000) + b"NONE\xff"), ssnd(d),
                                       form_type=b"AIFC")
    yield "aiff-not-form", b"LIST" + form(comm(), ssnd(d))[4:]


# --- The other targets ----------------------------------------------------------------------

def align_seed(align_index, loop, stale, length, start, rate, samples):
    return (bytes([align_index, (1 if loop else 0) | stale << 1]) +
            struct.pack("<HHd", length, start, rate) +
            b"".join(struct.pack("<h", v) for v in samples))


def align_seeds():
    ramp = list(range(-3000, 3000, 97))
    yield "unlooped-10-to-8", align_seed(2, False, 3, 10, 0, 44100.0, ramp)
    yield "looped-5-21-to-8", align_seed(2, True, 0, 21, 5, 32000.0, ramp)
    yield "looped-0-47-to-8", align_seed(2, True, 0, 47, 0, 32000.0, ramp)
    yield "looped-953-1000-to-8", align_seed(2, True, 5, 1000, 953, 22050.0, ramp)
    yield "looped-one-sample-to-4", align_seed(1, True, 0, 9, 8, 8000.0, [32767, -32768])
    yield "looped-4096-to-2", align_seed(0, True, 1, 4096, 1, 11025.0, [30000, -30000, 0])
    yield "nan-rate", align_seed(0, True, 0, 33, 2, float("nan"), ramp)
    yield "full-scale-square", align_seed(2, True, 0, 301, 7, 48000.0, [32767] * 5 + [-32768] * 5)


def rate_seed(ext, value, whole, frac, looplen):
    return ext + struct.pack("<dIHB", value, whole, frac, looplen)


def rate_seeds():
    yield "44100", rate_seed(ext80(44100), 44100.0, 44100, 0, 0)
    yield "32000-stretched-48-47", rate_seed(ext80(32000), 32000.0, 32000, 0, 46)
    yield "255-hz", rate_seed(ext80(255), 255.0, 255, 0, 7)
    yield "65536-hz", rate_seed(ext80(65536), 65536.0, 65536, 1, 1)
    yield "max-32-bit-times-8", rate_seed(b"\x7f\xff" + b"\0" * 8, float("inf"), 0xFFFFFFFF,
                                          0xFFFF, 0)
    yield "denormal", rate_seed(b"\0\0\0\0\0\0\0\0\0\1", 5e-324, 1, 0, 0)
    yield "nan", rate_seed(b"\xff\xff\xc0" + b"\0" * 7, float("nan"), 1, 1, 63)
    yield "negative", rate_seed(b"\xbf\xff\x80" + b"\0" * 7, -1.0, 2, 2, 2)


def adpcm_seeds():
    def seq(start, pred, samples):
        return bytes([start]) + struct.pack("<h", pred) + b"".join(
            struct.pack("<h", v) for v in samples)
    yield "plus-minus-100", seq(0, 0, [100, -100, 100, -100])
    yield "full-scale", seq(88, 32767, [32767, -32768, -32768, 32767, 0, -32768])
    yield "min-predictor", seq(88, -32767, [-32768] * 4)
    yield "sine", seq(48, 0, [int(20000 * math.sin(i / 3.0)) for i in range(64)])
    yield "silence", seq(0, 0, [0] * 16)


def cmdline_seeds():
    def args(*a):
        return b"\0".join(x.encode() for x in a)
    yield "no-arguments", b""
    yield "options-and-files", args("-vo", "out.klng", "in.wav", "-c", "b.aiff")
    yield "o-takes-a-dash", args("-o", "-v", "in.wav")
    yield "long-options", args("--pcm16", "--verbose", "--update", "x.wav", "--adpcm")
    yield "long-with-equals", args("--name=value")
    yield "double-dash", args("--")
    yield "lone-dash", args("-")
    yield "help", args("-s", "--help", "--bogus")
    yield "cluster-ends-waiting", args("in.wav", "-so")
    yield "oo", args("-oo", "x")
    yield "empty-argument", args("a.wav", "", "b.wav")
    yield "bad-short", args("-vx")


def main():
    for name, data in wav_seeds():
        put("reader", f"seed-{name}.wav", data)
        put("convert", f"seed-pcm16-{name}.wav", b"\1" + data)
    for name, data in aiff_seeds():
        put("reader", f"seed-{name}.aiff", data)
        put("convert", f"seed-adpcm-{name}.aiff", b"\2" + data)
    # A few in the other two encodings as well.
    for name, data in list(wav_seeds())[:6]:
        put("convert", f"seed-pcm8-{name}.wav", b"\0" + data)
        put("convert", f"seed-adpcm-{name}.wav", b"\2" + data)
    # Files made by sox, ffmpeg, libsndfile and libaudiofile (tests/data/wavefile/make_fixtures.sh).
    real = os.path.join(ROOT, "tests", "data", "wavefile")
    for i, name in enumerate(sorted(os.listdir(real))):
        if name.endswith((".wav", ".aiff")):
            shutil.copyfile(os.path.join(real, name), os.path.join(CORPUS, "reader", "real-" + name))
            with open(os.path.join(real, name), "rb") as f:
                put("convert", "real-" + name, bytes([i % 3]) + f.read())
    for target, seeds in (("align", align_seeds), ("rate", rate_seeds), ("adpcm", adpcm_seeds),
                          ("cmdline", cmdline_seeds)):
        for name, data in seeds():
            put(target, "seed-" + name, data)


if __name__ == "__main__":
    main()
