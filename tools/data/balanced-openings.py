#!/usr/bin/env python3
"""Writes N balanced opening positions (FEN, one per line) for matches between evaluation
styles or against other engines: from the start position, PLIES uniformly random legal moves;
a position is kept when the game is not over, it was not kept before (position, side to move,
castling and en passant compared) and Stockfish's score at a fixed depth is within +-MAXCP for
the side to move. Stockfish also gives the legal moves (`go perft 1`) and the FEN after them
(`d`), so the script needs no move generator of its own.

    tools/data/balanced-openings.py -n 400 --seed 1 > openings-400.epd
    node /work/shared/tools/match/match.mjs ... --openings openings-400.epd --games 800

Options: -n N (100), --seed S (1), --plies P (8), --depth D (10), --maxcp CP (60),
--stockfish PATH (/usr/games/stockfish). The same seed and Stockfish give the same file.
Progress goes to stderr."""
import argparse
import os
import random
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "lib"))
from uci_pipe import UciPipe  # noqa: E402

STARTPOS = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"
MOVE_LINE = re.compile(r"[a-h][1-8][a-h][1-8][qrbn]?: 1")


def legal_moves(sf, fen):
    """The legal moves of fen, sorted, so that the choice does not hang on Stockfish's order."""
    sf.send("position fen " + fen)
    sf.send("go perft 1")
    lines = sf.read_until("Nodes searched")
    return sorted(line.split(":")[0] for line in lines if MOVE_LINE.fullmatch(line))


def after(sf, fen, move):
    """The FEN after move, as Stockfish writes it."""
    sf.send("position fen %s moves %s" % (fen, move))
    sf.send("d")
    return sf.read_until("Fen:")[-1].split(":", 1)[1].strip()


def score(sf, fen, depth):
    """Centipawns for the side to move at depth (mates as +-100000); None without a score."""
    sf.send("ucinewgame")  # an empty table: the score does not depend on earlier searches
    sf.send("position fen " + fen)
    sf.send("go depth %d" % depth)
    result = None
    for line in sf.read_until("bestmove"):
        words = line.split()
        # the last exact score of the first line; bound scores are only halfway answers
        if "score" not in words or "lowerbound" in words or "upperbound" in words:
            continue
        if "multipv" in words and words[words.index("multipv") + 1] != "1":
            continue
        i = words.index("score")
        kind, value = words[i + 1], int(words[i + 2])
        result = value if kind == "cp" else (100000 if value > 0 else -100000)
    return result


def random_opening(sf, rng, plies):
    """The FEN after plies random legal moves, or None when the game ends on the way or there."""
    fen = STARTPOS
    for _ in range(plies):
        moves = legal_moves(sf, fen)
        if not moves:
            return None
        fen = after(sf, fen, rng.choice(moves))
    return fen if legal_moves(sf, fen) else None


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("-n", type=int, default=100)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--plies", type=int, default=8)
    ap.add_argument("--depth", type=int, default=10)
    ap.add_argument("--maxcp", type=int, default=60)
    ap.add_argument("--stockfish", default="/usr/games/stockfish")
    args = ap.parse_args()
    rng = random.Random(args.seed)
    sf = UciPipe(args.stockfish)
    sf.uci()
    # one thread: a fixed-depth search is then the same on every run
    sf.setoption("Threads", 1)
    seen, tried = set(), 0
    while len(seen) < args.n:
        fen = random_opening(sf, rng, args.plies)
        if fen is None:
            continue
        key = " ".join(fen.split()[:4])  # the clocks do not make another position
        if key in seen:
            continue
        tried += 1
        cp = score(sf, fen, args.depth)
        if cp is None or abs(cp) > args.maxcp:
            continue
        seen.add(key)
        print(fen, flush=True)
        print("%d kept of %d scored (%+d cp) %s" % (len(seen), tried, cp, fen), file=sys.stderr)
    sf.quit()


if __name__ == "__main__":
    main()
