#!/usr/bin/env python3
"""The network file of the Neural style, VNN2, as the engine reads it (src/eval/nnue.h; a test
holds the two to the same numbers): "VNN2", u32 hidden size, u32 king buckets K, u32 output
buckets, u8 mirror flag and 3 zero bytes, u8[64] king-bucket map, then the arrays of layout(K)
in that order, little-endian. Only read(), write() and the commands need numpy, so that the
constants can be checked with python3 alone.

    tools/lib/netformat.py convert OLD.vnn NEW.vnn       a VNN1 file as VNN2 (1 bucket, no mirror)
    tools/lib/netformat.py random NEW.vnn --king-buckets 4 [--mirror] [--seed N]
                                                         small random weights, for tests"""
import argparse
import math
import os
import struct
import sys

MAGIC = b"VNN2"
INPUTS = 768  # per king bucket: own/their * 384 + type * 64 + square, Black's flipped
HIDDEN = 256
BUCKETS = 8  # output buckets: (pieces - 2) // 4, capped
MAX_KING_BUCKETS = 16
QA = 255  # first layer's unit; SCReLU clamps to it
QB = 64  # output weights' unit
SCALE = 400  # centipawns per unit of the float model's output
FT_LIMIT = 992  # |first-layer weight or bias|: 33 of them never wrap an int16
OUT_LIMIT = 64  # |output weight|
BIAS_LIMIT = 1 << 24  # |output bias|
HEADER_SIZE = 84  # magic, three u32, the mirror flag and padding, the map


def layout(king_buckets):
    """(name, type, shape, unit, limit) of the arrays after the header: the stored integer is the
    float weight times its unit. Output weights: per bucket, the side to move's half, then the
    other's."""
    return (
        ("ft_weight", "<i2", (king_buckets * INPUTS, HIDDEN), QA, FT_LIMIT),
        ("ft_bias", "<i2", (HIDDEN,), QA, FT_LIMIT),
        ("out_weight", "<i2", (BUCKETS, 2 * HIDDEN), QB, OUT_LIMIT),
        ("out_bias", "<i4", (BUCKETS,), QA * QB, BIAS_LIMIT),
    )


def file_size(king_buckets):
    return HEADER_SIZE + sum(int(kind[2:]) * math.prod(shape)
                             for _, kind, shape, _, _ in layout(king_buckets))


FILE_SIZE = file_size(1)  # the embedded network's
MAX_FILE_SIZE = file_size(MAX_KING_BUCKETS)


def _rows(rows):
    """A 64-square map from eight ranks (rank 1 first) of four buckets for files e-h; files a-d
    take those of their mirror file."""
    return tuple(rows[sq // 8][max(sq % 8, 7 - sq % 8) - 4] for sq in range(64))


# King-bucket maps by name, seen from the perspective's own side: finer near the home rank,
# where the king spends most of the game and where its shelter matters.
KING_MAPS = {
    "1": _rows([[0] * 4] * 8),
    "4": _rows([[1, 1, 0, 0], [2] * 4] + [[3] * 4] * 6),
    "8": _rows([[3, 2, 1, 0], [5, 5, 4, 4], [6] * 4] + [[7] * 4] * 5),
    "16": _rows([[3, 2, 1, 0], [7, 6, 5, 4], [9, 9, 8, 8], [11, 11, 10, 10], [13, 13, 12, 12],
                 [14] * 4, [15] * 4, [15] * 4]),
}


def stored_map(kmap, mirror):
    """The map as the file holds it: with mirroring, files a-d are never looked up and hold 0."""
    return tuple(0 if mirror and sq % 8 < 4 else int(b) for sq, b in enumerate(kmap))


def king_view(king_square, perspective, kmap, mirror):
    """(bucket, flip) of a perspective whose king stands on king_square: flip (0 or 7) is xored
    into every square it sees after Black's vertical flip."""
    ksq = king_square ^ (56 * perspective)
    flip = 7 if mirror and ksq % 8 < 4 else 0
    return kmap[ksq ^ flip], flip


def read(path):
    """The arrays of a network file (int64) with its "king_map" (64 buckets) and "mirror", after
    the engine's checks; ValueError when the engine would refuse the file."""
    import numpy as np
    with open(path, "rb") as f:
        blob = f.read(MAX_FILE_SIZE + 1)
    if len(blob) < HEADER_SIZE or blob[:4] != MAGIC:
        raise ValueError(f"{path}: not a VNN2 file")
    hidden, kings, buckets = struct.unpack_from("<III", blob, 4)
    mirror, padding, kmap = blob[16], blob[17:20], tuple(blob[20:84])
    if hidden != HIDDEN or buckets != BUCKETS or not 1 <= kings <= MAX_KING_BUCKETS:
        raise ValueError(f"{path}: shape {hidden} hidden, {kings} king buckets, {buckets} buckets; "
                         f"{HIDDEN}, 1 to {MAX_KING_BUCKETS}, {BUCKETS} expected")
    if mirror > 1 or any(padding) or max(kmap) >= kings or stored_map(kmap, mirror) != kmap:
        raise ValueError(f"{path}: bad mirror flag, padding or king-bucket map")
    if len(blob) != file_size(kings):
        raise ValueError(f"{path}: {len(blob)} bytes, {file_size(kings)} expected")
    net, at = {"king_map": kmap, "mirror": bool(mirror)}, HEADER_SIZE
    for key, kind, shape, _, limit in layout(kings):
        count = math.prod(shape)
        net[key] = np.frombuffer(blob, kind, count, at).reshape(shape).astype(np.int64)
        at += count * int(kind[2:])
        if np.abs(net[key]).max() > limit:
            raise ValueError(f"{path}: {key} outside +-{limit}")
    return net


def write(path, net):
    """Writes a network file, whole or not at all: integer arrays of layout(K)'s shapes, a
    64-entry "king_map" with buckets below K and "mirror"; ValueError when something does not
    fit (the engine would refuse the file)."""
    import numpy as np
    kings = len(net["ft_weight"]) // INPUTS
    kmap = stored_map(net["king_map"], net["mirror"])
    if len(kmap) != 64 or not 1 <= kings <= MAX_KING_BUCKETS or max(kmap) >= kings:
        raise ValueError(f"a map of 64 buckets below {kings} and 1 to {MAX_KING_BUCKETS} expected")
    blob = MAGIC + struct.pack("<IIIB3x", HIDDEN, kings, BUCKETS, int(net["mirror"])) + bytes(kmap)
    for key, kind, shape, _, limit in layout(kings):
        array = np.asarray(net[key])
        if array.shape != shape or array.dtype.kind not in "iu" or \
                np.abs(array.astype(np.int64)).max() > limit:
            raise ValueError(f"{key}: {array.dtype} {array.shape}, not integers {shape} "
                             f"within +-{limit}")
        blob += array.astype(kind).tobytes()
    assert len(blob) == file_size(kings)
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path + ".tmp", "wb") as f:
        f.write(blob)
    os.replace(path + ".tmp", path)


def read_vnn1(path):
    """The arrays of a file of the earlier format, which had no king buckets."""
    import numpy as np
    with open(path, "rb") as f:
        blob = f.read()
    if blob[:4] != b"VNN1" or struct.unpack_from("<II", blob, 4) != (HIDDEN, BUCKETS) or \
            len(blob) != file_size(1) - HEADER_SIZE + 12:
        raise ValueError(f"{path}: not a VNN1 file with {HIDDEN} hidden and {BUCKETS} buckets")
    net, at = {"king_map": KING_MAPS["1"], "mirror": False}, 12
    for key, kind, shape, _, _ in layout(1):
        count = math.prod(shape)
        net[key] = np.frombuffer(blob, kind, count, at).reshape(shape)
        at += count * int(kind[2:])
    return net


def main():
    """Command line."""
    import numpy as np
    p = argparse.ArgumentParser(description="Network files of the Neural style.")
    sub = p.add_subparsers(dest="command", required=True)
    c = sub.add_parser("convert", help="a VNN1 file as VNN2 with one king bucket, no mirroring")
    c.add_argument("old")
    c.add_argument("new")
    r = sub.add_parser("random", help="a network of small random weights")
    r.add_argument("new")
    r.add_argument("--king-buckets", choices=KING_MAPS, default="4")
    r.add_argument("--mirror", action="store_true")
    r.add_argument("--seed", type=int, default=1)
    args = p.parse_args()
    try:
        if args.command == "convert":
            write(args.new, read_vnn1(args.old))
            return
        rng = np.random.default_rng(args.seed)
        kmap = KING_MAPS[args.king_buckets]
        net = {"king_map": kmap, "mirror": args.mirror}
        for key, _, shape, _, limit in layout(max(kmap) + 1):
            bound = {"ft_weight": 60, "ft_bias": 200}.get(key, limit)
            net[key] = rng.integers(-bound, bound + 1, shape)
        write(args.new, net)
    except (OSError, ValueError) as error:
        sys.exit(str(error))


if __name__ == "__main__":
    main()
