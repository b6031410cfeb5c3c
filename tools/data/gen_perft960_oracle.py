#!/usr/bin/env python3
"""Writes tests/data/perft960.txt: Chess960 positions with leaf counts from Debian's stockfish
(`apt-get install stockfish`) run with UCI_Chess960 on. Each line: FEN ; depth ; count.

The positions are start positions picked by Scharnagl number, positions after 4..40 plies of
random play that still hold castling rights (chosen so that the awkward castling geometries
show up at the root), and a few scripted positions random play would not reach. Castling
fields alternate between Shredder-FEN and X-FEN so that both readers are exercised; every line
is recounted by stockfish from the text as written before the file is saved.

Usage: tools/data/gen_perft960_oracle.py [stockfish] [output]. Deterministic for the fixed seed."""
import os
import random
import re
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools", "lib"))
from fen import read_placement  # noqa: E402
from uci_pipe import UciPipe  # noqa: E402
# The Scharnagl numbering of the start positions.
from chess960_openings import scharnagl  # noqa: E402

SEED = 960
WALKS = 1500           # random games in the candidate pool
WALK_LINES = 230       # positions kept from them
LEAF_BUDGET = 52_000_000   # the unit test recounts every leaf
DEPTH4_LIMIT = 2_000_000   # a line goes to depth 4 only below this count
FILES = "abcdefgh"
MOVE_LINE = re.compile(r"^([a-h][1-8][a-h][1-8][qrbn]?): (\d+)$")

# Scripted games: (start position's back rank, moves, why); each move is checked for legality.
SCRIPTED = [
    # White's a-rook walks round to g1, so the c-rook keeps the h-side right while another
    # rook stands further out: X-FEN must name it by file (C), K would mean the g1 rook.
    ("RKRBBQNN", "a2a4 b7b6 a1a3 c7c6 g1h3 d7d6 g2g4 e7e6 a3g3 f7f6 g3g1 h7h6",
     "inner rook holds the right (white)"),
    ("RKRBBQNN", "b2b3 a7a5 c2c3 a8a6 d2d3 g8h6 e2e3 g7g5 f2f3 a6g6 h2h3 g6g8",
     "inner rook holds the right (black)"),
    ("RKRBBQNN", "a2a4 a7a5 a1a3 a8a6 g1h3 g8h6 g2g4 g7g5 a3g3 a6g6 g3g1 g6g8",
     "inner rooks hold the rights (both)"),
    # The b-file rook shields the king from a queen on a1: castling c1b1 would uncover it.
    ("NRKBBNRQ", "c2c4 g7g6 b2b4 h7h6 a1b3 b7b6 d1c2 h8a1",
     "castling rook pinned on the back rank (white)"),
    ("NRKBBNRQ", "g2g3 c7c5 h2h3 b7b5 b2b3 a8b6 a2a3 d8c7 h1a8",
     "castling rook pinned on the back rank (black)"),
]


class Oracle(UciPipe):
    def __init__(self, path):
        super().__init__(path)
        self.banner = self.next_line().strip()
        self.send("setoption name UCI_Chess960 value true")

    def perft(self, position, depth):
        # `go perft` runs on the search thread: wait for its total before the next command.
        self.send(f"position {position}")
        self.send(f"go perft {depth}")
        lines = self.read_until("Nodes searched")
        moves = [m.group(1) for m in map(MOVE_LINE.match, lines) if m]
        return moves, int(lines[-1].split(":")[1])

    def board(self, position):
        """FEN (castling in Shredder form, as stockfish prints it in Chess960 mode) and checkers."""
        self.send(f"position {position}")
        self.send("d")
        lines = self.read_until("Checkers:")
        fen = next(line[5:] for line in lines if line.startswith("Fen: "))
        return fen, lines[-1][len("Checkers:"):].strip()


SP_NUMBER = {scharnagl(n): n for n in range(960)}


def start_fen(back):
    rooks = [FILES[f] for f in range(8) if back[f] == "R"]
    rights = rooks[1].upper() + rooks[0].upper() + rooks[1] + rooks[0]
    return f"{back.lower()}/pppppppp/8/8/8/8/PPPPPPPP/{back} w {rights} - 0 1"


def parse(fen):
    """{(file, rank): letter} and the fields of a FEN."""
    return {(sq % 8, sq // 8): p for sq, p in read_placement(fen).items()}, fen.split()


def rights(fen):
    """(white, rook file, king file) per castling right of a Shredder-FEN."""
    board, fields = parse(fen)
    out = []
    for ch in fields[2].replace("-", ""):
        white = ch.isupper()
        rank = 0 if white else 7
        king = "K" if white else "k"
        kf = next(f for f in range(8) if board.get((f, rank)) == king)
        out.append((white, FILES.index(ch.lower()), kf))
    return out


def to_xfen(fen):
    """Shredder-FEN to X-FEN: K/Q name the outermost rook on that side of the king; a right
    held by an inner rook keeps its file letter."""
    board, fields = parse(fen)
    field = ""
    for white, rf, kf in rights(fen):
        rank = 0 if white else 7
        rook = "R" if white else "r"
        same_side = [f for f in range(8)
                     if board.get((f, rank)) == rook and (f > kf) == (rf > kf)]
        outer = max(same_side) if rf > kf else min(same_side)
        tag = ("K" if rf > kf else "Q") if rf == outer else FILES[rf].upper()
        field += tag if white else tag.lower()
    fields[2] = field or "-"
    return " ".join(fields)


def features(fen, moves, checkers):
    """Names of the castling situations present at the root of this position."""
    board, fields = parse(fen)
    stm_white = fields[1] == "w"
    found, colours = set(), set()
    for white, rf, kf in rights(fen):
        colours.add(white)
        rank = 0 if white else 7
        kingside = rf > kf
        kto, rto = (6, 5) if kingside else (2, 3)
        span = range(min(kf, rf) + 1, max(kf, rf))
        path = range(min(kf, rf, kto, rto), max(kf, rf, kto, rto) + 1)
        between = any(board.get((f, rank)) for f in span)
        beyond = any(board.get((f, rank)) for f in path if f not in span and f not in (kf, rf))
        ours = stm_white == white
        legal = ours and f"{FILES[kf]}{rank + 1}{FILES[rf]}{rank + 1}" in moves
        shapes = []
        if kf == kto:
            shapes.append("king_on_dest")
        if rf == rto:
            shapes.append("rook_on_dest")
        if abs(kf - rf) == 1:
            shapes.append("adjacent")
        if rf == 1 and kf == 2:
            shapes.append("rook_b_king_c")
        for s in shapes:
            found.add(s)
            if legal:
                found.add(s + "_legal")
        if legal:
            found.add("castle_legal")
        if ours and between:
            found.add("blocked_between")
        if ours and beyond and not between:
            found.add("blocked_beyond")
        if ours and not between and not beyond and not legal:
            enemy = "qr" if white else "QR"
            if checkers:
                found.add("in_check")
            elif not kingside and rf == 1 and board.get((0, rank), " ") in enemy:
                found.add("rook_pinned")
            else:
                found.add("attacked")
    found.add("both_sides" if len(colours) == 2 else "one_side")
    if fields[3] != "-":
        found.add("ep")
    if to_xfen(fen).split()[2].strip("KQkq-"):
        found.add("inner_rook")
    return found


def walk(oracle, rng, number):
    """One random game from start position `number`; returns its positions from ply 4 on
    that still hold a castling right, as (ply, fen, legal moves, checkers)."""
    start = start_fen(scharnagl(number))
    length = rng.randint(4, 40)
    keep = rng.choice([0.97, 0.9, 0.75])   # how hard the game tries not to lose rights
    played, out = [], []
    for ply in range(length + 1):
        position = f"fen {start} moves {' '.join(played)}"
        fen, checkers = oracle.board(position)
        moves, _ = oracle.perft(position, 1)
        held = rights(fen)
        if not moves or not held:
            break
        if ply >= 4:
            out.append((ply, fen, moves, checkers))
        if ply == length:
            break
        board, fields = parse(fen)
        white = fields[1] == "w"
        rank = 0 if white else 7
        anchors = {f"{FILES[f]}{rank + 1}" for w, rf, kf in held if w == white for f in (rf, kf)}
        quiet = [m for m in moves if m[:2] not in anchors]
        pool = quiet if quiet and rng.random() < keep else moves
        played.append(rng.choice(pool))
    return out


# Quotas per castling situation for the random-play lines, in the order they are filled.
QUOTAS = [
    ("rook_pinned", 4), ("inner_rook", 4), ("attacked", 12), ("in_check", 6),
    ("king_on_dest_legal", 8), ("rook_on_dest_legal", 8), ("adjacent_legal", 8),
    ("rook_b_king_c_legal", 5), ("king_on_dest", 4), ("rook_on_dest", 4), ("adjacent", 4),
    ("rook_b_king_c", 4), ("blocked_between", 10), ("blocked_beyond", 8), ("ep", 12),
    ("one_side", 12), ("both_sides", 10), ("castle_legal", 10),
]


def main():
    stockfish = sys.argv[1] if len(sys.argv) > 1 else "/usr/games/stockfish"
    output = sys.argv[2] if len(sys.argv) > 2 else \
        os.path.join(ROOT, "tests", "data", "perft960.txt")
    began = time.time()
    oracle = Oracle(stockfish)
    rng = random.Random(SEED)

    # (section, shredder fen, depth, count, features)
    lines = []

    # Start positions: every sixth number plus the classical one and the last.
    numbers = sorted(set(range(0, 960, 6)) | {518, 959})
    for i, n in enumerate(numbers):
        fen = start_fen(scharnagl(n))
        depth = 4 if n == 518 or i % 4 == 0 else 3
        _, count = oracle.perft(f"fen {fen}", depth)
        lines.append(("start", fen, depth, count, {f"sp{n}"}))

    # Random play: a pool of games, then one position per game, situations first.
    pool = []
    for g in range(WALKS):
        for ply, fen, moves, checkers in walk(oracle, rng, rng.randrange(960)):
            pool.append((g, ply, fen, features(fen, moves, checkers)))
    print(f"pool: {len(pool)} positions from {WALKS} games, {time.time() - began:.0f}s",
          file=sys.stderr)
    order = list(range(len(pool)))
    rng.shuffle(order)
    used_games, chosen = set(), []
    for name, quota in QUOTAS:
        have = sum(1 for c in chosen if name in pool[c][3])
        for i in order:
            if have >= quota:
                break
            g, _, _, feats = pool[i]
            if g not in used_games and name in feats:
                used_games.add(g)
                chosen.append(i)
                have += 1
    last = {}
    for i, (g, _, _, _) in enumerate(pool):
        last[g] = i               # the game's final position: plain random play
    finals = [last[g] for g in sorted(last) if g not in used_games]
    rng.shuffle(finals)
    chosen += finals[:max(0, WALK_LINES - len(chosen))]
    for i in chosen:
        _, _, fen, feats = pool[i]
        _, count = oracle.perft(f"fen {fen}", 3)
        lines.append(("random", fen, 3, count, feats))

    # Scripted positions.
    for back, moves, _ in SCRIPTED:
        assert back in SP_NUMBER, back
        start = start_fen(back)
        played = []
        for m in moves.split():
            legal, _ = oracle.perft(f"fen {start} moves {' '.join(played)}", 1)
            assert m in legal, (back, m)
            played.append(m)
        position = f"fen {start} moves {' '.join(played)}"
        fen, checkers = oracle.board(position)
        legal, count = oracle.perft(f"fen {fen}", 3)
        lines.append(("scripted", fen, 3, count, features(fen, legal, checkers)))

    # Depth 4 where it stays small, while the leaf budget allows: scripted lines first, then
    # random play in the order chosen (the rarer situations came first).
    total = sum(line[3] for line in lines)
    ranked = sorted(range(len(lines)), key=lambda k: (lines[k][0] != "scripted", k))
    for k in ranked:
        section, fen, depth, count, feats = lines[k]
        if depth == 3 and section != "start" and count < DEPTH4_LIMIT // 25:
            _, deeper = oracle.perft(f"fen {fen}", 4)
            if deeper < DEPTH4_LIMIT and total + deeper - count <= LEAF_BUDGET:
                lines[k] = (section, fen, 4, deeper, feats)
                total += deeper - count

    # Notation: alternate within each section; scripted lines appear in both forms.
    rows = []
    for section in ("start", "random", "scripted"):
        part = [line for line in lines if line[0] == section]
        for i, (_, fen, depth, count, feats) in enumerate(part):
            forms = [fen, to_xfen(fen)]
            if section == "start" and "sp518" in feats or section == "scripted":
                texts = forms if forms[0] != forms[1] or section == "start" else forms[:1]
            else:
                texts = [forms[i % 2]]
            for text in texts:
                rows.append((section, text, fen, depth, count, feats))

    # Recount every line from the text as written.
    for section, text, fen, depth, count, _ in rows:
        seen, _ = oracle.board(f"fen {text}")
        _, again = oracle.perft(f"fen {text}", depth)
        assert seen == fen and again == count, (text, seen, fen, again, count)
    oracle.quit()

    total = sum(r[4] for r in rows)
    with open(output, "w") as out:
        out.write("# Chess960 perft: FEN ; depth ; leaf count, counted by "
                  f"{oracle.banner.split(' by ')[0]} with UCI_Chess960 true\n")
        out.write("# from tools/data/gen_perft960_oracle.py (seed %d): start positions by Scharnagl "
                  "number, positions\n" % SEED)
        out.write("# after 4-40 plies of random play that keep castling rights, then scripted "
                  "positions\n")
        out.write("# (an inner rook holding the right, a castling rook pinned along the back "
                  "rank).\n")
        out.write("# Castling fields alternate: Shredder-FEN (rook files, HAha) and X-FEN "
                  "(KQkq = outermost\n")
        out.write("# rook on that side, a file letter when an inner rook holds the right).\n")
        out.write(f"# {len(rows)} positions, {total} leaves.\n")
        for _, text, _, depth, count, _ in rows:
            out.write(f"{text} ; {depth} ; {count}\n")

    # Summary for whoever regenerates the file.
    for section in ("start", "random", "scripted"):
        part = [r for r in rows if r[0] == section]
        print(f"{section}: {len(part)} lines, {sum(r[4] for r in part)} leaves, "
              f"depth 4: {sum(r[3] == 4 for r in part)}", file=sys.stderr)
    names = sorted({f for r in rows if r[0] != "start" for f in r[5]})
    for name in names:
        hits = [r for r in rows if r[0] != "start" and name in r[5]]
        random_hits = [r for r in hits if r[0] == "random"]
        example = (random_hits or hits)[0]
        print(f"  {name}: {len(random_hits)} random, {len(hits) - len(random_hits)} scripted;"
              f" e.g. {example[1]} ; {example[3]} ; {example[4]}", file=sys.stderr)
    print(f"{len(rows)} lines, {total} leaves, {time.time() - began:.0f}s", file=sys.stderr)


if __name__ == "__main__":
    main()
