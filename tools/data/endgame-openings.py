#!/usr/bin/env python3
"""Writes N endgame-rich opening positions (FEN, one per line) for a match that measures what
the Syzygy tables bring: 6 to 8 men in all (kings included), so that play soon reaches the
3-4-5-men tables. Material is drawn from common endgame types (rook, minor-piece, queen and
pawn endings, rook against a minor piece, ...), placed at random (pawns on their own ranks 2-6)
with a random side to move; a position is kept when it is legal, has no castling or en passant,
the side to move is not in check, Stockfish's score at a fixed depth is within +-MAXCP, and it
is not a dead draw (a pawnless position scoring within +-10 cp is dropped).

    tools/data/endgame-openings.py -n 100 --seed 1 > endgame-100.epd
    node /work/shared/tools/match/match.mjs ... --openings endgame-100.epd --games 200

Options: -n N (100), --seed S (1), --depth D (10), --maxcp CP (150),
--stockfish PATH (/usr/games/stockfish). The same seed and Stockfish give the same file.
Progress goes to stderr."""
import argparse
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "lib"))
from fen import write_placement  # noqa: E402
from uci_pipe import EngineError, UciPipe  # noqa: E402

# (white, black) material besides the kings; colours are swapped at random.
TYPES = [
    ("RP", "RP"), ("RPP", "RP"), ("RPP", "RPP"), ("RPP", "R"), ("RPPP", "RP"),
    ("BP", "BP"), ("BPP", "BP"), ("BPP", "NP"), ("NPP", "NP"), ("BPP", "NPP"), ("BP", "NPP"),
    ("BPPP", "BP"), ("NPPP", "NP"),
    ("QP", "QP"), ("QPP", "QP"), ("QPP", "QPP"),
    ("RP", "BPP"), ("RP", "NPP"), ("RPP", "BPP"), ("RPP", "NPP"), ("R", "BPP"), ("R", "NPP"),
    ("PPP", "PP"), ("PPP", "PPP"), ("PPPP", "PP"), ("PP", "PP"),
    ("RB", "RP"), ("RN", "RP"), ("RBP", "RN"), ("Q", "RPP"), ("QP", "RBP"), ("Q", "RBP"),
    ("RBP", "RBP"), ("RNP", "RBP"), ("BNP", "RP"),
]

assert all(6 <= 2 + len(w) + len(b) <= 8 for w, b in TYPES)

STEPS = {"N": [(1, 2), (2, 1), (-1, 2), (-2, 1), (1, -2), (2, -1), (-1, -2), (-2, -1)],
         "K": [(1, 0), (-1, 0), (0, 1), (0, -1), (1, 1), (1, -1), (-1, 1), (-1, -1)]}
RAYS = {"B": [(1, 1), (1, -1), (-1, 1), (-1, -1)], "R": [(1, 0), (-1, 0), (0, 1), (0, -1)]}
RAYS["Q"] = RAYS["B"] + RAYS["R"]


def attacked(board, sq, by_white):
    """Whether square sq=(file, rank) is attacked by the side by_white."""
    f, r = sq

    def piece_at(ff, rr):
        return board.get((ff, rr))

    for kind, steps in STEPS.items():
        want = kind if by_white else kind.lower()
        if any(piece_at(f + df, r + dr) == want for df, dr in steps):
            return True
    pawn, dr = ("P", -1) if by_white else ("p", 1)
    if piece_at(f - 1, r + dr) == pawn or piece_at(f + 1, r + dr) == pawn:
        return True
    for kind, rays in RAYS.items():
        for df, dr in rays:
            ff, rr = f + df, r + dr
            while 0 <= ff < 8 and 0 <= rr < 8:
                p = piece_at(ff, rr)
                if p is not None:
                    sliders = ("Q", kind) if by_white else ("q", kind.lower())
                    if p in sliders:
                        return True
                    break
                ff, rr = ff + df, rr + dr
    return False


def random_position(rng):
    """A legal FEN with material from TYPES, or None when the placement is illegal."""
    white, black = rng.choice(TYPES)
    if rng.random() < 0.5:
        white, black = black, white
    board = {}
    free = [(f, r) for f in range(8) for r in range(8)]
    rng.shuffle(free)
    for piece in "K" + white + "k" + black.lower():
        for i, (f, r) in enumerate(free):
            if piece == "P" and not 1 <= r <= 5:
                continue
            if piece == "p" and not 2 <= r <= 6:
                continue
            board[(f, r)] = piece
            del free[i]
            break
    kings = {p: sq for sq, p in board.items() if p in "Kk"}
    white_to_move = rng.random() < 0.5
    # neither king in check: this also keeps the kings apart
    if attacked(board, kings["K"], False) or attacked(board, kings["k"], True):
        return None
    placement = write_placement({r * 8 + f: p for (f, r), p in board.items()})
    return placement + (" w" if white_to_move else " b") + " - - 0 1"


class Stockfish(UciPipe):
    def __init__(self, path):
        super().__init__(path)
        self.uci()

    def score(self, fen, depth):
        """Centipawns for the side to move (mates as +-100000), or None with no legal move."""
        self.send("ucinewgame")
        self.send("position fen " + fen)
        self.send("go depth %d" % depth)
        lines = [line.split() for line in self.read_until("bestmove")]
        if lines[-1][1] == "(none)":
            return None
        score = None
        for words in lines:
            if "score" in words:
                i = words.index("score")
                kind, value = words[i + 1], int(words[i + 2])
                score = value if kind == "cp" else (100000 if value > 0 else -100000)
        return score


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("-n", type=int, default=100)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--depth", type=int, default=10)
    ap.add_argument("--maxcp", type=int, default=150)
    ap.add_argument("--stockfish", default="/usr/games/stockfish")
    args = ap.parse_args()
    rng = random.Random(args.seed)
    sf = Stockfish(args.stockfish)
    seen, tried = set(), 0
    while len(seen) < args.n:
        fen = random_position(rng)
        if fen is None or fen in seen:
            continue
        tried += 1
        cp = sf.score(fen, args.depth)
        if cp is None or abs(cp) > args.maxcp:
            continue
        if abs(cp) < 10 and "p" not in fen.split()[0].lower():
            continue
        seen.add(fen)
        print(fen, flush=True)
        print("%d kept of %d scored (%+d cp) %s" % (len(seen), tried, cp, fen), file=sys.stderr)
    sf.quit()


if __name__ == "__main__":
    try:
        main()
    except EngineError as error:
        sys.exit(str(error))
