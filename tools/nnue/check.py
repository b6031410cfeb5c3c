#!/usr/bin/env -S /usr/bin/python3
"""Checks that a quantised network, its float model and the engine agree.

    tools/nnue/check.py eval NET.vnn --fen FEN                        the integer output
    tools/nnue/check.py agreement NET.vnn [--checkpoint CKPT] [--fens FILE]
                        [--write tests/data/nnue/agreement.txt]        integer vs float
    tools/nnue/check.py engine NET.vnn [--engine build/vantorel] [--fens FILE]
                        [--data FILE.bin --count N]                    integer vs the engine

The integer emulation follows the engine's arithmetic exactly (int16 accumulators, int32 sums,
divisions truncating toward zero); it works square by square from the FEN, independently of
data.py's vectorised features, which the agreement command compares with it. Exit 1 on any
disagreement.
"""
import argparse
import os
import re
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path[:0] = [HERE, os.path.join(ROOT, "tools", "lib")]
import data  # noqa: E402
import netformat  # noqa: E402
from fen import PIECE_LETTERS, read_placement  # noqa: E402
from netformat import BUCKETS, HIDDEN, INPUTS, QA, QB, SCALE  # noqa: E402
from uci_pipe import EngineError, UciPipe  # noqa: E402

EVAL_LIMIT = 29999  # the engine's clamp of an evaluation
FENS = os.path.join(HERE, "agreement-fens.txt")


def tdiv(a, b):
    """Integer division truncating toward zero, as in C++."""
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b >= 0) else -q


def read_vnn(path):
    """The arrays of a network file, after the engine's checks (exits on a bad file)."""
    try:
        return netformat.read(path)
    except ValueError as error:
        sys.exit(str(error))


def fen_pieces(fen):
    """(piece code, square) pairs and the side to move (0 White, 1 Black) of a FEN."""
    _, side = fen.split()[:2]
    pieces = [(PIECE_LETTERS.index(p), square) for square, p in read_placement(fen).items()]
    return pieces, int(side == "b")


def feature(piece, square, perspective, pieces, net):
    """The feature index, written out from the definition: the perspective's king picks the
    bucket and, with mirroring on files a-d, the wing (a perspective without one: bucket 0,
    unmirrored, as in the engine)."""
    king = next((s for p, s in pieces if p == 6 * perspective + 5), None)
    bucket, flip = (0, 0) if king is None else \
        netformat.king_view(king, perspective, net["king_map"], net["mirror"])
    own = 0 if piece // 6 == perspective else 1
    rsq = (square if perspective == 0 else square ^ 56) ^ flip
    return bucket * INPUTS + own * 384 + (piece % 6) * 64 + rsq


def quantised_eval(net, fen):
    """The network's integer output in cp, side to move's view, before the engine's clamp."""
    pieces, side = fen_pieces(fen)
    total = 0
    for half, perspective in ((0, side), (1, 1 - side)):
        acc = [int(b) for b in net["ft_bias"]]
        for piece, square in pieces:
            row = net["ft_weight"][feature(piece, square, perspective, pieces, net)]
            acc = [a + int(w) for a, w in zip(acc, row)]
        acc = [((a + 32768) & 0xFFFF) - 32768 for a in acc]  # int16 lanes wrap (never within bounds)
        bucket = min(max((len(pieces) - 2) // 4, 0), BUCKETS - 1)
        weights = net["out_weight"][bucket][half * HIDDEN:(half + 1) * HIDDEN]
        for a, w in zip(acc, weights):
            c = min(max(a, 0), QA)
            total += c * c * int(w)
    assert -(1 << 31) <= total < (1 << 31)
    v = tdiv(total, QA)
    return tdiv((v + int(net["out_bias"][bucket])) * SCALE, QA * QB)


def float_eval(model, net, fen):
    """The float model's output in cp (400 y), side to move's view."""
    import torch
    pieces, side = fen_pieces(fen)
    columns = [feature(p, s, side, pieces, net) for p, s in pieces] + \
        [feature(p, s, 1 - side, pieces, net) for p, s in pieces]
    rows = [0] * len(pieces) + [1] * len(pieces)
    bucket = min(max((len(pieces) - 2) // 4, 0), BUCKETS - 1)
    shape = (2, model.ft_weight.shape[0])
    batch = {"inputs": torch.sparse_coo_tensor([rows, columns], torch.ones(len(rows)), shape),
             "size": 1, "groups": [int(b == bucket) for b in range(BUCKETS)]}
    with torch.no_grad():
        return float(model(batch)[0]) * SCALE


def features_agree(net, fen):
    """Whether data.py's vectorised features equal the written-out ones."""
    pieces, side = fen_pieces(fen)
    if len(pieces) > 32 or any(not any(p == 6 * c + 5 for p, _ in pieces) for c in (0, 1)):
        return True  # a record cannot hold them, or data.py skips it: nothing to compare
    us, them, _, buckets = data.features(data.from_fen(fen), net["king_map"], net["mirror"])
    return (sorted(us.tolist()) == sorted(feature(p, s, side, pieces, net) for p, s in pieces)
            and sorted(them.tolist()) == sorted(feature(p, s, 1 - side, pieces, net) for p, s in pieces)
            and int(buckets[0]) == min(max((len(pieces) - 2) // 4, 0), BUCKETS - 1))


def recognised_draw(fen):
    """The engine's recognised dead draws: pawnless minor endings that cannot be won."""
    pieces, _ = fen_pieces(fen)
    codes = [p for p, _ in pieces]
    if any(p % 6 in (0, 3, 4) for p in codes):
        return False
    wn, wb, bn, bb = (codes.count(c) for c in (1, 2, 7, 8))
    wm, bm = wn + wb, bn + bb
    if (wm <= 1 and bm == 0) or (bm <= 1 and wm == 0):
        return True
    if (wn == 2 and wb == 0 and bm == 0) or (bn == 2 and bb == 0 and wm == 0):
        return True
    if wn == 0 and bn == 0 and wb == 1 and bb == 1:
        w = next(s for p, s in pieces if p == 2)
        b = next(s for p, s in pieces if p == 8)
        return (w // 8 + w % 8) % 2 == (b // 8 + b % 8) % 2
    return False


def read_fens(path):
    """Non-empty, non-comment lines of a FEN file."""
    return [line.strip() for line in open(path) if line.strip() and not line.startswith("#")]


def agreement(args):
    """Integer output of every FEN, compared with the float model when one is given."""
    net = read_vnn(args.net)
    model = None
    if args.checkpoint:
        import train
        model, _ = train.load_checkpoint(args.checkpoint)
        print(f"float model: {'rounded' if model.quantised else 'unrounded'} weights in its forward pass")
    failures, lines = 0, []
    for fen in read_fens(args.fens):
        q = quantised_eval(net, fen)
        lines.append(f"{fen} | {q}")
        text = f"{q:+7d}"
        if not features_agree(net, fen):
            failures += 1
            text += "  FEATURES DIFFER"
        if model is not None:
            f = float_eval(model, net, fen)
            ok = abs(f - q) <= args.tolerance + args.relative * abs(f)
            failures += not ok
            text += f"  float {f:+9.1f}  diff {q - f:+6.1f}{'' if ok else '  MISMATCH'}"
        print(f"{text}  {fen}")
    if args.write:
        os.makedirs(os.path.dirname(os.path.abspath(args.write)), exist_ok=True)
        with open(args.write, "w") as out:
            out.write(f"# FEN | raw output of {os.path.basename(args.net)} (side to move's view, before the "
                      "engine's clamp),\n# from tools/nnue/check.py agreement.\n" + "\n".join(lines) + "\n")
        print(f"wrote {args.write}")
    print(f"{len(lines)} positions, {failures} failures")
    return failures


def engine_fens(args):
    """The FENs the engine command checks: a FEN file, or records sampled from a data file."""
    if not args.data:
        return read_fens(args.fens)
    recs = data.open_records(args.data)
    bad, _ = data.validate(recs)
    good = np.flatnonzero(~bad)
    pick = np.random.default_rng(args.seed).choice(good, min(args.count, len(good)), replace=False)
    return [data.to_fen(recs[i]) for i in np.sort(pick)]


def engine(args):
    """The engine's `eval` against the integer emulation: the network's score, and where the
    engine's evaluation is 0 instead (a material draw), the same draw rule here."""
    net = read_vnn(args.net)
    proc = UciPipe(args.engine)

    def ask(lines):
        for line in lines:
            proc.send(line)
        try:
            return proc.sync()
        except EngineError as error:
            sys.exit(str(error))

    ask(["uci", "setoption name Style value Neural",
         f"setoption name EvalFile value {os.path.abspath(args.net)}"])
    network = re.compile(r"Network score \(side-to-move\): ([+-]?\d+) cp")
    evaluation = re.compile(r"Neural evaluation \(side-to-move\): ([+-]?\d+) cp")
    failures = draws = compared = 0
    for fen in engine_fens(args):
        lines = ask([f"position fen {fen}", "eval"])
        found = [[m for m in map(p.search, lines) if m] for p in (network, evaluation)]
        if not all(found):
            failures += 1
            print(f"no network lines from the engine: {fen}")
            continue
        raw, got = (int(f[-1].group(1)) for f in found)
        expect = quantised_eval(net, fen)
        engine_draw = got == 0 and raw != 0
        compared += 1
        if raw != expect:
            failures += 1
            print(f"MISMATCH engine {raw:+d} emulation {expect:+d}: {fen}")
        elif raw != 0 and engine_draw != recognised_draw(fen):
            failures += 1
            print(f"DRAW RULE engine {'draw' if engine_draw else 'no draw'}, here the other: {fen}")
        elif not engine_draw and got != max(-EVAL_LIMIT, min(EVAL_LIMIT, raw)):
            failures += 1
            print(f"MISMATCH evaluation {got:+d} network {raw:+d}: {fen}")
        elif args.verbose:
            print(f"{got:+7d}  {fen}")
        draws += engine_draw
    proc.quit()
    print(f"{compared} positions compared, {draws} of them material draws, {failures} failures")
    return failures


def main():
    """Command line."""
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = p.add_subparsers(dest="command", required=True)
    e = sub.add_parser("eval", help="integer output of one position")
    e.add_argument("net")
    e.add_argument("--fen", required=True)
    a = sub.add_parser("agreement", help="integer output against the float model")
    a.add_argument("net")
    a.add_argument("--checkpoint", help="float checkpoint of train.py (compared when given)")
    a.add_argument("--fens", default=FENS)
    a.add_argument("--write", help="write 'FEN | output' lines here")
    a.add_argument("--tolerance", type=float, default=8.0, help="allowed difference, cp")
    a.add_argument("--relative", type=float, default=0.02, help="plus this share of |float|")
    g = sub.add_parser("engine", help="integer output against the engine's eval command")
    g.add_argument("net")
    g.add_argument("--engine", default=os.path.join(ROOT, "build", "vantorel"))
    g.add_argument("--fens", default=FENS)
    g.add_argument("--data", help="sample positions from this record file instead")
    g.add_argument("--count", type=int, default=1000)
    g.add_argument("--seed", type=int, default=1)
    g.add_argument("--verbose", action="store_true")
    args = p.parse_args()
    if args.command == "eval":
        print(quantised_eval(read_vnn(args.net), args.fen))
        return
    sys.exit(1 if (agreement if args.command == "agreement" else engine)(args) else 0)


if __name__ == "__main__":
    main()
