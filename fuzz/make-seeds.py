#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets: a few small, well-formed
inputs per target (and some that hit each failure path), in the input layouts
that fuzz/loadfuzz.h and fuzz/renderfuzz.h describe.

    fuzz/make-seeds.py OUTDIR      # writes OUTDIR/<target>/<seed name>
"""
import os
import struct
import sys

LIBS = ("scorevox", "blockvox", "dryvox")


# ---------------------------------------------------------------- renderers

def call(restart=1, startpos=0, srreset=0, bufbytes=4000, samprate=2000, envtype=0, srweight=5,
         transnum=0, transden=0, taps=(), flags=0, tracepos=0, rnd=0):
    if not -32768 <= bufbytes < 32768:
        flags |= 32
        bufbytes //= 4
    b = struct.pack("<bhbhibhhhbBbB", restart, startpos, srreset, bufbytes, samprate, envtype,
                    srweight, transnum, transden, len(taps), flags, tracepos, rnd)
    for delay, gain16 in taps:
        b += struct.pack("<hH", delay, gain16)
    return b


def render_input(calls, words, numtb=6, srlen=300, flags=0, tblsizes=(16,) * 12, filler=0, pattern=None):
    b = struct.pack("<bhB", numtb, srlen, flags)
    b += struct.pack("<12b", *tblsizes)
    b += struct.pack("<hB", filler, len(calls) - 1)
    for c in calls:
        b += c
    b += struct.pack("<H", len(words))
    b += struct.pack("<%dh" % len(words), *[w if w < 32768 else w - 65536 for w in words])
    if pattern is None:
        # A ramp: tables and background with every byte value.
        pattern = bytes((i * 37 + 11) & 0xFF for i in range(211))
    return b + pattern


def note(head, segs, tenths):
    """A note event: segs is a list of (pitch Hz, steady, glide) with the last
    glide ignored."""
    w = [150 + len(segs), head]
    for i, (pitch, steady, glide) in enumerate(segs):
        w += [pitch * 10 if tenths else pitch, steady]
        if i < len(segs) - 1:
            w.append(glide)
    return w


def render_seeds(lib):
    tenths = lib == "scorevox"
    echo = ((30, 0x3F00), (20, 0x3E80))  # delays 30, 20 at gains 0.5, 0.25
    phrase = [150, 5] + note(905, [(440, 20, 5), (660, 20, 0)], tenths) + [149]
    seeds = {}
    seeds["phrase-echo"] = render_input(
        [call(taps=echo, flags=64), call(restart=0, taps=echo, flags=64)], phrase + phrase + [139])
    seeds["glide-env3-transposed"] = render_input(
        [call(envtype=3, transnum=3, transden=2, samprate=4000, bufbytes=20000)],
        note(301, [(200, 5, 10), (400, 0, 5), (100, 10, 0)], tenths) + [149, 139])
    seeds["env-types"] = render_input(
        [call(envtype=e, samprate=1000 + 700 * e, bufbytes=30000, flags=64) for e in (0, 1, 2, 4)],
        note(902, [(300, 300, 0)], tenths) + [149, 139])
    seeds["full-buffer"] = render_input(
        [call(bufbytes=40, taps=echo), call(restart=0, bufbytes=1), call(restart=0, bufbytes=-6)],
        [150, 50, 149] + note(903, [(100, 50, 0)], tenths) + [149, 139])
    seeds["odd-codes"] = render_input(
        [call(taps=((0, 0x3F80), (-5, 0x4000), (32767, 0xBF80)))],
        [147, 5, 171, 1, 148, 0, 150, 0, 150, -4] + note(1011, [(100, 5, 0)], tenths) + [149])
    seeds["negative-head"] = render_input([call()], note(-205, [(100, 5, 0)], tenths) + [149],
                                          flags=0)
    seeds["unplayable-sets"] = render_input(
        [call(), call(restart=0), call(restart=0)],
        note(901, [(100, 5, 0)], tenths) + [149] + note(902, [(100, 5, 0)], tenths) + [149] + [139],
        numtb=7, tblsizes=(16, 0, 81, -3) + (16,) * 8)
    seeds["twenty-segments"] = render_input(
        [call(samprate=8000, bufbytes=60000, taps=echo)],
        note(904, [(100 + 30 * i, 3, 2) for i in range(20)], tenths) + [149, 139])
    seeds["trace"] = render_input(
        [call(tracepos=5), call(tracepos=-1, taps=echo), call(tracepos=3)],
        note(905, [(220, 5, 2), (330, 5, 0)], tenths) + [150, 3, 149], srlen=40)
    seeds["bad-params"] = render_input(
        [call(samprate=0), call(envtype=5), call(srweight=-10), call(flags=4), call(flags=16)], phrase)
    seeds["silent-background"] = render_input([call(srreset=1), call(srreset=1)], phrase + [139],
                                              srlen=-44, flags=1)
    seeds["restart-outside"] = render_input(
        [call(startpos=2999), call(startpos=-3), call(flags=8, startpos=3100)], phrase, filler=150)
    seeds["wide-words"] = render_input([call()], [151, 65535, 65000, 5, 149], flags=2)
    seeds["rounding"] = render_input(
        [call(rnd=r, taps=echo, transnum=5, transden=4) for r in (1, 2, 3)],
        note(907, [(300, 10, 10), (900, 10, 0)], tenths) + [149, 149, 149])
    seeds["huge-phase"] = render_input(
        [call(samprate=100, transnum=32767, transden=1), call(samprate=1, transnum=-32768, transden=1)],
        note(906, [(6000, 300, 200), (10, 300, 0)], tenths) + [149, 139])
    seeds["block-end-139"] = render_input([call()], [150, 2, 152, 905], flags=4)
    return seeds


# ---------------------------------------------------------------- loaders

def load_input(score=b"", bank=b"", srfilelen=1200, flags=0x80, layout=0, tracepos=0, layoutsets=0,
               offset=0, samprate_sel=30, envtype=0, hostpos=0, pattern=None):
    b = struct.pack("<BbhbhHHHBBh", flags, layout, tracepos, layoutsets, offset, srfilelen, len(score),
                    len(bank), samprate_sel, envtype, hostpos)
    if pattern is None:
        pattern = bytes((i * 53 + 7) & 0xFF for i in range(97))
    return b + score + bank + pattern


def bankfile(numtb=6, sets=11, size=8, sizes=None, truncate=None):
    b = struct.pack("<H", numtb & 0xFFFF)
    for s in range(sets):
        n = sizes[s] if sizes else size
        b += struct.pack("<H", n & 0xFFFF)
        if 0 < n <= 80:
            for j in range(numtb):
                b += struct.pack("<%dh" % n, *[((k * 4000 + j * 1000 + s * 300) % 60000) - 30000
                                               for k in range(n)])
    return b if truncate is None else b[:truncate]


def scorenote(head, segs):
    b = bytes([150 + len(segs)]) + struct.pack(">H", head)
    for i, (pitch, steady, glide) in enumerate(segs):
        b += struct.pack(">HB", pitch, steady)
        if i < len(segs) - 1:
            b += bytes([glide])
    return b


def caption(text):
    return bytes([148]) + bytes(((ord(c) + 124) & 0xFF) for c in text) + bytes([250])


def load_seeds(lib):
    pitch = 10 if lib == "scorevox" else 1
    phrase = (bytes([150, 5]) + caption("Hi") + scorenote(905, [(440 * pitch, 20, 5), (660 * pitch, 20, 0)])
              + bytes([149]))
    score = phrase + caption("end") + phrase + bytes([139])
    seeds = {}
    seeds["valid"] = load_input(score, bankfile())
    seeds["layout2-trace"] = load_input(score, bankfile(sets=5), layout=2, tracepos=5)
    seeds["offset"] = load_input(b"\x00" * 10 + score, bankfile(numtb=2), offset=10)
    seeds["background-short"] = load_input(score, bankfile(), srfilelen=1043)
    seeds["background-tiny"] = load_input(score, bankfile(), srfilelen=20)
    seeds["stage-counts"] = load_input(score, bankfile(numtb=12))
    seeds["one-stage"] = load_input(score, bankfile(numtb=1))
    seeds["seven-stages"] = load_input(score, bankfile(numtb=7, size=2))
    seeds["table-too-long"] = load_input(score, bankfile(sizes=[8, 8, 8, 81] + [8] * 7))
    seeds["bank-truncated"] = load_input(score, bankfile(truncate=300))
    seeds["bank-empty"] = load_input(score, b"")
    seeds["bad-layout"] = load_input(score, bankfile(), layout=7)
    seeds["freqdim-changed"] = load_input(score, bankfile(sets=3), flags=0xC0, layout=1, layoutsets=3)
    seeds["invalid-event"] = load_input(phrase + bytes([147]), bankfile())
    seeds["no-end-byte"] = load_input(phrase, bankfile())
    seeds["unclosed-caption"] = load_input(phrase + bytes([148, 200, 201]), bankfile())
    seeds["ends-inside-note"] = load_input(phrase + scorenote(901, [(100, 5, 1), (200, 5, 0)])[:7], bankfile())
    seeds["stream-limit"] = load_input(bytes([149]) * 2950 + scorenote(901, [(100, 1, 1)] * 20) + bytes([139]),
                                       bankfile(sets=5), layout=2, tracepos=2990)
    seeds["missing-files"] = load_input(score, bankfile(), flags=0x01 | 0x08 | 0x20)
    seeds["directory"] = load_input(score, bankfile(), flags=0x02 | 0x80)
    seeds["no-background"] = load_input(score, bankfile(), flags=0x10 | 0x80)
    return seeds


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    for lib in LIBS:
        for target, seeds in (("load", load_seeds(lib)), ("render", render_seeds(lib))):
            d = os.path.join(out, "%s_%s" % (lib, target))
            os.makedirs(d, exist_ok=True)
            for name, data in seeds.items():
                with open(os.path.join(d, name), "wb") as f:
                    f.write(data)


if __name__ == "__main__":
    main()
