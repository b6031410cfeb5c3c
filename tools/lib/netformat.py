"""The network file of the Neural style, VNN1, as the engine reads it (src/eval/nnue.h; a test
holds the two to the same numbers): "VNN1", u32 hidden size, u32 bucket count, then the arrays
of LAYOUT in that order, little-endian. Only read() and write() need numpy, so that the
constants can be checked with python3 alone."""
import math
import os
import struct

MAGIC = b"VNN1"
INPUTS = 768  # own/their * 384 + type * 64 + square, Black's flipped
HIDDEN = 256
BUCKETS = 8  # (pieces - 2) // 4, capped
QA = 255  # first layer's unit; SCReLU clamps to it
QB = 64  # output weights' unit
SCALE = 400  # centipawns per unit of the float model's output
FT_LIMIT = 992  # |first-layer weight or bias|: 33 of them never wrap an int16
OUT_LIMIT = 64  # |output weight|
BIAS_LIMIT = 1 << 24  # |output bias|

# (name, type, shape, unit, limit): the stored integer is the float weight times its unit.
# Output weights: per bucket, the side to move's half, then the other's.
LAYOUT = (
    ("ft_weight", "<i2", (INPUTS, HIDDEN), QA, FT_LIMIT),
    ("ft_bias", "<i2", (HIDDEN,), QA, FT_LIMIT),
    ("out_weight", "<i2", (BUCKETS, 2 * HIDDEN), QB, OUT_LIMIT),
    ("out_bias", "<i4", (BUCKETS,), QA * QB, BIAS_LIMIT),
)
HEADER_SIZE = 12
FILE_SIZE = HEADER_SIZE + sum(int(kind[2:]) * math.prod(shape) for _, kind, shape, _, _ in LAYOUT)


def read(path):
    """The arrays of a network file (int64), after the engine's checks; ValueError when the
    engine would refuse the file."""
    import numpy as np
    with open(path, "rb") as f:
        blob = f.read(FILE_SIZE + 1)
    if len(blob) != FILE_SIZE or blob[:4] != MAGIC or \
            struct.unpack_from("<II", blob, 4) != (HIDDEN, BUCKETS):
        raise ValueError(f"{path}: not a VNN1 file with {HIDDEN} hidden, {BUCKETS} buckets, "
                         f"{FILE_SIZE} bytes")
    net, at = {}, HEADER_SIZE
    for key, kind, shape, _, limit in LAYOUT:
        count = math.prod(shape)
        net[key] = np.frombuffer(blob, kind, count, at).reshape(shape).astype(np.int64)
        at += count * int(kind[2:])
        if np.abs(net[key]).max() > limit:
            raise ValueError(f"{path}: {key} outside +-{limit}")
    return net


def write(path, net):
    """Writes integer arrays of LAYOUT's shapes as a network file, whole or not at all;
    ValueError when one does not fit it (the engine would refuse the file)."""
    import numpy as np
    blob = MAGIC + struct.pack("<II", HIDDEN, BUCKETS)
    for key, kind, shape, _, limit in LAYOUT:
        array = np.asarray(net[key])
        if array.shape != shape or array.dtype.kind not in "iu" or \
                np.abs(array.astype(np.int64)).max() > limit:
            raise ValueError(f"{key}: {array.dtype} {array.shape}, not integers {shape} "
                             f"within +-{limit}")
        blob += array.astype(kind).tobytes()
    assert len(blob) == FILE_SIZE
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path + ".tmp", "wb") as f:
        f.write(blob)
    os.replace(path + ".tmp", path)
