#!/usr/bin/env -S /usr/bin/python3
"""Training records of the neural style: 32-byte VTD1 records, read and turned into features.

As a module: load(files) gives one numpy record array; features(records) gives the flattened
feature indices of both perspectives, the offsets of each position, the output buckets.
As a command:

    tools/nnue/data.py stats FILE...   counts, result and score distributions, piece counts,
                                       and every malformed record (exit 1 if any)

Files may still be growing: only whole records are read.
"""
import argparse
import os
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "lib"))
from fen import PIECE_LETTERS, read_placement, write_placement  # noqa: E402
from netformat import BUCKETS, INPUTS, KING_MAPS  # noqa: E402

RECORD = np.dtype([("occupied", "<u8"), ("pieces", "u1", (16,)), ("score", "<i2"),
                   ("result", "u1"), ("side", "u1"), ("halfmove", "u1"), ("reserved", "u1"),
                   ("fullmove", "<u2")])
assert RECORD.itemsize == 32


def open_records(path):
    """A read-only memory map of the whole records of one file (empty array if none)."""
    with open(path, "rb") as f:
        count = f.seek(0, 2) // RECORD.itemsize
    if count == 0:
        return np.zeros(0, RECORD)
    return np.memmap(path, RECORD, "r", shape=(count,))


def load(paths):
    """Every whole record of the files, copied into one in-memory array."""
    parts = [np.array(open_records(p)) for p in paths]
    return np.concatenate(parts) if parts else np.zeros(0, RECORD)


POPCOUNT8 = np.array([bin(i).count("1") for i in range(256)], np.int64)


def piece_counts(records):
    """Number of pieces of each record."""
    occupied = np.ascontiguousarray(records["occupied"]).view(np.uint8).reshape(-1, 8)
    return POPCOUNT8[occupied].sum(axis=1)


def squares_and_pieces(records):
    """Flattened (row, square, piece code) of every piece, rows in order, squares ascending."""
    occupied = np.ascontiguousarray(records["occupied"]).view(np.uint8).reshape(-1, 8)
    bits = np.unpackbits(occupied, axis=1, bitorder="little")
    rows, squares = np.nonzero(bits)
    counts = bits.sum(axis=1, dtype=np.int64)
    starts = np.cumsum(counts) - counts
    rank = np.arange(rows.size) - starts[rows]
    rank = np.minimum(rank, 31)  # malformed records (over 32 pieces) must not index out of range
    nibbles = (records["pieces"][rows, rank // 2] >> (4 * (rank % 2)).astype(np.uint8)) & 15
    return rows, squares, nibbles.astype(np.int64), counts


def feature_index(piece, square, perspective, king, kmap, mirror):
    """Feature of a piece for a perspective (0 White, 1 Black) whose king stands on `king`:
    king bucket, own/opp, type, square flipped for Black and, with mirroring and that king on
    files a-d (from its side), mirrored to the other wing (netformat.king_view)."""
    other = (piece // 6 != perspective).astype(np.int64)
    ksq = king ^ (56 * perspective)
    flip = np.where(mirror & (ksq % 8 < 4), 7, 0)
    bucket = np.asarray(kmap, np.int64)[ksq ^ flip]
    return bucket * INPUTS + other * 384 + (piece % 6) * 64 + (square ^ (56 * perspective) ^ flip)


def features(records, kmap=KING_MAPS["1"], mirror=False):
    """(us, them, offsets, buckets) for EmbeddingBag: flat indices, each position's start; kmap
    and mirror as in the network file. A record without a king (malformed) takes a1 for it."""
    rows, squares, pieces, counts = squares_and_pieces(records)
    side = records["side"].astype(np.int64)[rows]
    kings = np.zeros((2, len(records)), np.int64)
    for color in (0, 1):
        found = pieces == 6 * color + 5
        kings[color, rows[found]] = squares[found]
    us = feature_index(pieces, squares, side, kings[side, rows], kmap, mirror)
    them = feature_index(pieces, squares, 1 - side, kings[1 - side, rows], kmap, mirror)
    offsets = np.cumsum(counts) - counts
    buckets = np.clip((counts - 2) // 4, 0, BUCKETS - 1)
    return us, them, offsets, buckets


def validate(records, chunk=1 << 20):
    """Boolean mask of malformed records, and a list of (index, reason) for the first few."""
    masks = {r: [] for r in ("piece code over 11", "more than 32 pieces", "not one king each")}
    for start in range(0, len(records), chunk):
        part = records[start:start + chunk]
        rows, _, pieces, counts = squares_and_pieces(part)
        n = len(part)
        masks["piece code over 11"].append(np.bincount(rows[pieces > 11], minlength=n) > 0)
        masks["more than 32 pieces"].append(counts > 32)
        white = np.bincount(rows[pieces == 5], minlength=n)
        black = np.bincount(rows[pieces == 11], minlength=n)
        masks["not one king each"].append((white != 1) | (black != 1))
    reasons = {r: np.concatenate(m) if m else np.zeros(0, bool) for r, m in masks.items()}
    reasons["result over 2"] = records["result"] > 2
    reasons["side over 1"] = records["side"] > 1
    bad = np.zeros(len(records), bool)
    for mask in reasons.values():
        bad |= mask
    examples = []
    for i in np.flatnonzero(bad)[:20]:
        examples.append((int(i), ", ".join(r for r, m in reasons.items() if m[i])))
    return bad, examples


def to_fen(record):
    """FEN of one record (no castling rights or en-passant square: the record has neither)."""
    _, squares, pieces, _ = squares_and_pieces(record.reshape(1))
    board = {int(sq): PIECE_LETTERS[pc] if pc < 12 else "?" for sq, pc in zip(squares, pieces)}
    side = "wb"[int(record["side"]) & 1]
    return (f"{write_placement(board)} {side} - - {int(record['halfmove'])} "
            f"{max(1, int(record['fullmove']))}")


def from_fen(fen, score=0, result=1):
    """A one-record array of a FEN's placement and side (castling and en passant are dropped)."""
    fields = fen.split()
    rec = np.zeros(1, RECORD)
    occupied, codes = 0, []
    for sq, ch in read_placement(fen).items():
        occupied |= 1 << sq
        codes.append((sq, PIECE_LETTERS.index(ch)))
    if len(codes) > 32:
        raise ValueError(f"more than 32 pieces: {fen}")
    for i, (_, code) in enumerate(sorted(codes)):
        rec["pieces"][0, i // 2] |= code << (4 * (i % 2))
    rec["occupied"], rec["side"] = occupied, fields[1] == "b"
    rec["score"], rec["result"] = score, result
    if len(fields) >= 6:
        rec["halfmove"], rec["fullmove"] = min(int(fields[4]), 255), min(int(fields[5]), 65535)
    return rec


def stats(paths):
    """Prints the summary of the files; returns the number of malformed records."""
    total_bad = 0
    for path in paths:
        recs = np.array(open_records(path))
        print(f"{path}: {len(recs)} records")
        if len(recs) == 0:
            continue
        bad, examples = validate(recs)
        total_bad += int(bad.sum())
        for i, why in examples:
            print(f"  bad record {i}: {why}")
        if bad.any():
            print(f"  {int(bad.sum())} malformed records (left out of the figures below)")
        recs = recs[~bad]
        if len(recs) == 0:
            continue
        res = np.bincount(recs["result"], minlength=3)
        print("  result (side to move): " + ", ".join(
            f"{name} {n} ({100 * n / len(recs):.1f}%)" for name, n in zip(("loss", "draw", "win"), res)))
        score = recs["score"].astype(np.int64)
        q = np.percentile(score, [1, 10, 25, 50, 75, 90, 99])
        print(f"  score: mean {score.mean():.1f}, sd {score.std():.1f}, min {score.min()}, "
              f"max {score.max()}, |score|>=1000: {np.mean(np.abs(score) >= 1000) * 100:.1f}%")
        print("  score percentiles 1/10/25/50/75/90/99: " + " ".join(f"{v:.0f}" for v in q))
        edges = [-32768, -1000, -400, -100, -25, 26, 101, 401, 1001, 32768]
        hist, _ = np.histogram(score, edges)
        print("  score histogram: " + ", ".join(
            f"[{a},{b}) {n}" for a, b, n in zip(edges[:-1], edges[1:], hist)))
        counts = piece_counts(recs)
        pc = np.bincount(counts, minlength=33)
        print("  pieces: " + " ".join(f"{n}:{c}" for n, c in enumerate(pc) if c))
        print("  buckets: " + " ".join(str(n) for n in np.bincount(
            np.clip((counts - 2) // 4, 0, BUCKETS - 1), minlength=BUCKETS)))
        print(f"  white to move {np.mean(recs['side'] == 0) * 100:.1f}%, "
              f"fullmove median {np.median(recs['fullmove']):.0f}, "
              f"halfmove clock median {np.median(recs['halfmove']):.0f}")
    return total_bad


def main():
    """Command line."""
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("stats", help="summary and validation of record files")
    p.add_argument("files", nargs="+")
    p = sub.add_parser("fen", help="print records as FEN with score and result")
    p.add_argument("file")
    p.add_argument("--start", type=int, default=0)
    p.add_argument("--count", type=int, default=10)
    args = parser.parse_args()
    if args.command == "stats":
        sys.exit(1 if stats(args.files) else 0)
    recs = open_records(args.file)[args.start:args.start + args.count]
    for r in recs:
        print(f"{to_fen(r)} | {int(r['score'])} | {int(r['result'])}")


if __name__ == "__main__":
    main()
