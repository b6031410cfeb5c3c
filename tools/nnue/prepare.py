#!/usr/bin/env -S /usr/bin/python3
"""Training and validation files from self-play chunks: whole chunks held out for validation (so
no game is split between the two), duplicate positions dropped, the rest shuffled.

    tools/nnue/prepare.py CHUNK... --valid-chunks K --out DIR [--seed S]

The last K chunks named (in the order given) are the validation set; a position seen earlier in
the training chunks is kept once, and one seen in a training chunk is dropped from the
validation set. A position is its pieces and side to move; its first record (score, result,
clocks) is the one kept. Writes DIR/train.bin and DIR/valid.bin (VTD1 records) and prints what
it dropped; train.py reads them with `DIR/train.bin --valid DIR/valid.bin`.
"""
import argparse
import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import data  # noqa: E402


def position_keys(records):
    """One comparable value per record: its occupancy, piece codes and side to move."""
    keys = np.zeros(len(records), np.dtype([("occupied", "<u8"), ("pieces", "u1", (16,)),
                                            ("side", "u1")]))
    for field in keys.dtype.names:
        keys[field] = records[field]
    return keys.view(np.dtype((np.void, keys.dtype.itemsize)))


def first_of_each(keys):
    """Indices of the first record of each distinct key, in record order."""
    _, first = np.unique(keys, return_index=True)
    return np.sort(first)


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("chunks", nargs="+", help="VTD1 chunk files")
    p.add_argument("--valid-chunks", type=int, required=True, help="chunks held out, from the end")
    p.add_argument("--out", required=True, help="directory for train.bin and valid.bin")
    p.add_argument("--seed", type=int, default=1, help="the shuffle's")
    args = p.parse_args()
    if not 0 < args.valid_chunks < len(args.chunks):
        sys.exit("--valid-chunks must leave at least one chunk for training")

    train = data.load(args.chunks[:-args.valid_chunks])
    valid = data.load(args.chunks[-args.valid_chunks:])
    for name, records in (("training", train), ("validation", valid)):
        bad, examples = data.validate(records)
        if bad.any():
            sys.exit(f"{int(bad.sum())} malformed {name} records, the first: {examples[0]}")

    train_keys = position_keys(train)
    kept = first_of_each(train_keys)
    train_unique = train[kept]
    valid_keys = position_keys(valid)
    valid_first = first_of_each(valid_keys)
    seen = np.isin(valid_keys[valid_first], train_keys[kept])
    valid_unique = valid[valid_first[~seen]]

    rng = np.random.default_rng(args.seed)
    train_unique = train_unique[rng.permutation(len(train_unique))]
    os.makedirs(args.out, exist_ok=True)
    train_unique.tofile(os.path.join(args.out, "train.bin"))
    valid_unique.tofile(os.path.join(args.out, "valid.bin"))
    print(f"training: {len(train)} records, {len(train) - len(train_unique)} repeated positions "
          f"dropped, {len(train_unique)} written (shuffled, seed {args.seed})")
    print(f"validation: {len(valid)} records, {len(valid) - len(valid_first)} repeated and "
          f"{int(seen.sum())} seen in training dropped, {len(valid_unique)} written")


if __name__ == "__main__":
    main()
