#!/usr/bin/env python3
"""Runs a UCI engine over tests/data/mate_distances.txt (FEN;N, N the shortest forced mate, negative
when the side to move is mated) and checks the mates it announces.
Usage: tools/measure/mate-check.py [ENGINE] [--nodes N | --depth D] [--file F]

A mate shorter than the shortest one, or of the wrong sign, on any info line is an error: the
search claimed a proof that cannot exist. A longer mate of the right sign is only a slower
finding. Exit status 1 when any error is seen."""
import argparse
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools", "lib"))
from uci_pipe import EngineError, UciPipe  # noqa: E402


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("engine", nargs="?", default=os.path.join(ROOT, "build", "vantorel"))
    ap.add_argument("--nodes", type=int, default=200000)
    ap.add_argument("--depth", type=int, help="search to this depth instead of a node count")
    ap.add_argument("--file", default=os.path.join(ROOT, "tests", "data", "mate_distances.txt"))
    args = ap.parse_args()
    go = f"go depth {args.depth}" if args.depth else f"go nodes {args.nodes}"

    cases = []
    with open(args.file) as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                fen, n = line.rsplit(";", 1)
                cases.append((fen.strip(), int(n)))

    engine = UciPipe(args.engine)
    engine.uci()
    right, false, wrong = 0, [], []
    for fen, n in cases:
        engine.send("ucinewgame")
        engine.sync()
        engine.send(f"position fen {fen}")
        engine.send(go)
        last, bad_false, bad_sign = None, None, None
        for line in engine.read_until("bestmove"):
            t = line.split()
            if t[:1] != ["info"] or "score" not in t:
                continue
            i = t.index("score")
            last = (t[i + 1], int(t[i + 2]))
            if last[0] != "mate":
                continue
            m = last[1]
            if m * n < 0:
                bad_sign = bad_sign or line
            elif abs(m) < abs(n):  # mate 0 counts here: the position has legal moves
                bad_false = bad_false or line
        right += last == ("mate", n)
        if bad_false:
            false.append((fen, n, bad_false))
        if bad_sign:
            wrong.append((fen, n, bad_sign))
    engine.quit()

    print(f"{args.engine}, {go}, {args.file}")
    print(f"positions: {len(cases)}")
    print(f"right mate announced at the end: {right}")
    print(f"false mates (shorter than the shortest): {len(false)}")
    print(f"wrong-sign mates: {len(wrong)}")
    for title, bad in (("false mate", false), ("wrong sign", wrong)):
        for fen, n, line in bad:
            print(f"{title}: {fen};{n}\n    {line}")
    return 1 if false or wrong else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except EngineError as error:
        sys.exit(str(error))
