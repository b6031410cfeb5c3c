#!/usr/bin/env python3
"""Writes tests/data/mate_distances.txt: positions with a known shortest forced mate, for
tools/measure/mate-check.py. Needs Debian's stockfish (`apt-get install stockfish`);
deterministic for a given seed.
Usage: tools/data/gen_mate_set.py [--seed S] [--games G] [--stockfish PATH] [--out FILE]

Positions come from games that stockfish plays against itself: a few random opening plies,
then either two weak sides (low node counts mixed with random moves: mates arrive with many
pieces still on the board) or a strong side against a weak one (mates after a long game).
Stockfish's Skill Level seeds its randomness from the clock, so the weak side's randomness is
ours. A position is kept only when stockfish gives the same `mate N` at depth 22 and depth 28,
no info line shows a shorter or opposite mate, and for |N| >= 2 `go mate` finds nothing shorter
(for N < 0, on every reply that lasts longest)."""
import argparse
import os
import random
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools", "lib"))
from uci_pipe import UciPipe  # noqa: E402

STARTPOS = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"
EXAMPLE = "krN3b1/1p1N3p/1p3r2/1P1p4/2p5/8/8/K2R3n w - - 0 1"  # a known false-mate trigger
MAX_PLIES = 220
TAIL = 26  # plies before a mate that are worth checking


def quota(n):
    """How many positions to keep for mate distance n (either sign)."""
    a = abs(n)
    return 40 if a <= 3 else 25 if a <= 6 else 14 if a <= 10 else 4 if a <= 14 else 0


class Stockfish(UciPipe):
    def __init__(self, path):
        super().__init__(path)
        self.uci()
        self.setoption("Threads", 1)
        self.setoption("Hash", 64)
        self.sync()

    def moves(self, fen):
        self.send(f"position fen {fen}")
        self.send("go perft 1")
        return [l.split(":")[0] for l in self.read_until("Nodes searched") if ": 1" in l]

    def after(self, fen, move):
        """FEN after the move, and whether the side then to move is in check."""
        self.send(f"position fen {fen} moves {move}")
        self.send("d")
        out = self.read_until("Checkers")
        return next(l[5:] for l in out if l.startswith("Fen: ")), out[-1].strip() != "Checkers:"

    def search(self, fen, go, fresh=True):
        """Returns (bestmove, info lines as lists of tokens carrying a score)."""
        if fresh:
            self.send("ucinewgame")
        self.send(f"position fen {fen}")
        self.send(f"go {go}")
        infos, best = [], None
        for line in self.read_until("bestmove"):
            t = line.split()
            if t and t[0] == "info" and "score" in t and "multipv" in t and t[t.index("multipv") + 1] == "1":
                infos.append(t)
            elif t and t[0] == "bestmove":
                best = t[1]
        return best, infos


def score(t):
    """('mate', n) or ('cp', v) of an info line, None for a bound."""
    i = t.index("score")
    if t[i + 3] in ("lowerbound", "upperbound"):
        return None
    return t[i + 1], int(t[i + 2])


def final_mate(infos, depth=None):
    """The mate of the last exact info line (at the given depth), else None."""
    exact = [t for t in infos if score(t)]
    if not exact or (depth and int(exact[-1][exact[-1].index("depth") + 1]) != depth):
        return None
    kind, v = score(exact[-1])
    return v if kind == "mate" and v != 0 else None


def mates_seen(infos):
    out = []
    for t in infos:
        i = t.index("score")
        if t[i + 1] == "mate":
            out.append(int(t[i + 2]))
    return out


def key(fen):
    return " ".join(fen.split()[:4])


def shorter_mate(sf, fen, n):
    """True when `go mate` finds a mate for the side to move in fewer than n moves."""
    _, infos = sf.search(fen, f"mate {n - 1} nodes 2000000")
    return any(0 < m < n for m in mates_seen(infos))


def verify(sf, fen):
    """The shortest mate of the position when stockfish is sure of it, else None."""
    _, a = sf.search(fen, "depth 22 nodes 30000000")
    n = final_mate(a, 22)
    if n is None:
        return None
    _, b = sf.search(fen, "depth 28 nodes 60000000")
    if final_mate(b, 28) != n:
        return None
    # A shorter mate or one of the other sign at any depth makes the distance doubtful.
    if any(m * n < 0 or abs(m) < abs(n) for m in mates_seen(a + b)):
        return None
    if n >= 2 and shorter_mate(sf, fen, n):
        return None
    if n <= -2:
        # Mated in |n|: every reply must allow mate, the longest ones in exactly |n|.
        longest = []
        for mv in sf.moves(fen):
            child, _ = sf.after(fen, mv)
            _, c = sf.search(child, "depth 20 nodes 10000000")
            k = final_mate(c, 20)
            if k is None or k < 0 or k > -n:
                return None
            if k == -n:
                longest.append(child)
        if not longest or any(shorter_mate(sf, c, -n) for c in longest):
            return None
    return n


def play(sf, rng, strong_side):
    """One game; returns its positions and whether it ended in mate."""
    fen = STARTPOS
    for _ in range(rng.randint(2, 8)):
        moves = sf.moves(fen)
        fen, _ = sf.after(fen, rng.choice(moves))
    sf.send("ucinewgame")
    game, in_check = [], False
    for _ in range(MAX_PLIES):
        moves = sf.moves(fen)
        if not moves:
            return game, in_check
        stm = fen.split()[1]
        if stm == strong_side:
            mv, _ = sf.search(fen, "nodes 30000", fresh=False)
        elif rng.random() < 0.35:
            mv = rng.choice(moves)
        else:
            mv, _ = sf.search(fen, f"nodes {rng.choice((200, 1000, 4000))}", fresh=False)
        game.append(fen)
        if int(fen.split()[4]) >= 100:
            break
        fen, in_check = sf.after(fen, mv)
    return game, False


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--seed", type=int, default=2026)
    ap.add_argument("--games", type=int, default=300)
    ap.add_argument("--stockfish", default="/usr/games/stockfish")
    ap.add_argument("--out", default=os.path.join(ROOT, "tests", "data", "mate_distances.txt"))
    args = ap.parse_args()
    rng = random.Random(args.seed)
    sf = Stockfish(args.stockfish)
    start = time.time()
    found, seen = {}, set()

    def full(n, taken):
        # One position per distance and game keeps neighbouring plies of one game apart.
        return n in taken or sum(1 for v in found.values() if v == n) >= quota(n)

    def consider(fen, taken):
        fen = " ".join(fen.split()[:4] + ["0", fen.split()[5]])  # no 50-move horizon
        if key(fen) in seen:
            return
        seen.add(key(fen))
        hint = final_mate(sf.search(fen, "depth 14")[1])
        if hint is None or full(hint, taken):
            return
        n = verify(sf, fen)
        if n is not None and not full(n, taken):
            found[fen] = n
            taken.add(n)

    seen.add(key(EXAMPLE))
    example_n = verify(sf, EXAMPLE)
    if example_n is not None:
        found[EXAMPLE] = example_n
    print(f"example: {example_n}", file=sys.stderr)
    for g in range(args.games):
        strong = rng.choice(("w", "b", None))
        game, mated = play(sf, rng, strong)
        # Candidates: the end of a game lost by mate, and every position whose side to move
        # had a mate within reach of a quick look (checked every fourth ply to save time).
        tail = set(range(len(game) - TAIL, len(game))) if mated else set()
        taken = set()
        for i, fen in enumerate(game):
            if i in tail or i % 4 == 0:
                consider(fen, taken)
        print(f"game {g + 1}: {len(game)} plies, mated {mated}, kept {len(found)}, "
              f"{time.time() - start:.0f}s", file=sys.stderr)
    rows = sorted(found.items(), key=lambda kv: (abs(kv[1]), -kv[1], kv[0]))
    with open(args.out, "w") as out:
        out.write("# FEN;N  shortest forced mate: N > 0 the side to move mates in N moves, N < 0 it\n"
                  "# is mated in -N (stockfish's `score mate` sign). Written by tools/data/gen_mate_set.py\n"
                  f"# (seed {args.seed}, {args.games} games) with Stockfish 15.1, Threads 1, Hash 64: positions\n"
                  "# from stockfish self-play after random opening plies (weak vs weak, strong vs\n"
                  "# weak); kept when depth 22 and depth 28 give the same mate N, no info line shows\n"
                  "# a shorter or opposite mate, and `go mate` finds nothing shorter (for N < 0, after\n"
                  "# every longest reply). The 50-move counter is reset so it cannot end a mating line.\n"
                  f"# {EXAMPLE} (a known false-mate trigger): "
                  + (f"stockfish confirms mate {example_n}, included.\n" if example_n
                     else "no confirmed mate, left out.\n"))
        for fen, n in rows:
            out.write(f"{fen};{n}\n")
    print(f"{len(rows)} positions in {time.time() - start:.0f}s", file=sys.stderr)
    for n in sorted(set(found.values())):
        print(f"mate {n}: {sum(1 for v in found.values() if v == n)}", file=sys.stderr)
    pieces = [sum(c.isalpha() for c in fen.split()[0]) for fen in found]
    for lo, hi in ((2, 5), (6, 10), (11, 16), (17, 24), (25, 32)):
        print(f"{lo}-{hi} pieces: {sum(1 for p in pieces if lo <= p <= hi)}", file=sys.stderr)


if __name__ == "__main__":
    main()
