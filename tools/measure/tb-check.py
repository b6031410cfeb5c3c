#!/usr/bin/env python3
"""Checks Vantorel's Syzygy support against engines and tools that do not share its code.

Usage:
  tools/measure/tb-check.py oracle  --tables DIR --count N --seed S [--engine PATH] [--depth D]
  tools/measure/tb-check.py convert --tables DIR --count N --seed S [--drawn M] [--tc 5+0.05]
                            [--engine PATH] [--out DIR] [--match match.mjs]

oracle: N random legal positions with 3 pieces up to the largest tables in DIR (kings and 1-3
others, random material, either side to move, no castling; a third of those with 4+ pieces have
an en-passant square from a double push that could just have been played, a quarter of the rest
a halfmove clock of 1-99). Vantorel's root result (`go depth D`, default 1) must equal that of
stockfish 15.1 with the same tables: its probing code is its own, while fathom shares
Vantorel's library. Stockfish prints a TB win as cp 8795 or a mate, a cursed win as a few cp:
with the fifty-move rule on, as in Vantorel, that is a draw. Vantorel's bestmove must be one
that fathom calls winning (drawing when no win exists), and stockfish, searching the position
after it, must see the same result for the mover.
convert: N won positions for the side to move (KQK, KRK, KBNK, KPK, KQKR, KRPKR, ...: a plain Win
for fathom, halfmove clock 0) and M drawn ones (default 20), each played twice with colours
swapped by Vantorel against stockfish, both with the tables, through shared/tools/match. With
the won side Vantorel must mate every time; in a drawn position it must never lose.
Exit status 1 on any mismatch, failure or match anomaly.

Needs /usr/games/stockfish, /usr/games/fathom and node; no python-chess (Debian 12 has none):
the little chess done here is by hand, and legal moves come from stockfish's `go perft 1`."""
import argparse, atexit, json, os, random, re, shutil, subprocess, sys, tempfile, time
from collections import Counter, defaultdict

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools", "lib"))
from fen import read_placement, write_placement  # noqa: E402
from uci_pipe import UciPipe  # noqa: E402

MATCH = os.path.join(os.path.dirname(ROOT), "shared", "tools", "match", "match.mjs")
STOCKFISH, FATHOM = "/usr/games/stockfish", "/usr/games/fathom"
KNIGHT = [(1, 2), (2, 1), (2, -1), (1, -2), (-1, -2), (-2, -1), (-2, 1), (-1, 2)]
KING = [(1, 0), (1, 1), (0, 1), (-1, 1), (-1, 0), (-1, -1), (0, -1), (1, -1)]


def attacked(bd, sq, by_white):
    """Whether a piece of by_white's side attacks sq (bd maps 0..63 to FEN letters)."""
    pawn = [(-1, -1), (1, -1)] if by_white else [(-1, 1), (1, 1)]  # where an attacking pawn stands
    for steps, reach, hitters in ((KNIGHT, 1, "n"), (KING, 1, "k"), (pawn, 1, "p"),
                                  (KING[::2], 7, "rq"), (KING[1::2], 7, "bq")):
        for df, dr in steps:
            f, r = sq % 8, sq // 8
            for _ in range(reach):
                f, r = f + df, r + dr
                p = bd.get(r * 8 + f) if 0 <= f < 8 and 0 <= r < 8 else "-"
                if p:
                    if p in (hitters.upper() if by_white else hitters):
                        return True
                    break
    return False


def king_sq(bd, white):
    return next(s for s, p in bd.items() if p == ("K" if white else "k"))


def fen_of(bd, white, ep="-", clock=0):
    return f"{write_placement(bd)} {'w' if white else 'b'} - {ep} {clock} 1"


def place(rng, pieces, white, ep_file=None, clock=0):
    """Random placement of pieces (FEN letters) with white (or black) to move, or None when it
    is illegal. With ep_file, the first piece is the opponent's pawn that has just made a
    double push on that file and the second stands beside it, able to take en passant."""
    bd, ep = {}, "-"
    if ep_file is not None:
        r5, dr = (4, 1) if white else (3, -1)  # rank of the pushed pawn, and towards its start
        bd[r5 * 8 + ep_file] = pieces[0]
        bd[r5 * 8 + ep_file + rng.choice([d for d in (-1, 1) if 0 <= ep_file + d < 8])] = pieces[1]
        ep_sq, start = (r5 + dr) * 8 + ep_file, (r5 + 2 * dr) * 8 + ep_file
        ep, pieces = "abcdefgh"[ep_file] + str(r5 + dr + 1), pieces[2:]
    free = [s for s in range(64) if s not in bd and (ep_file is None or s not in (ep_sq, start))]
    for p in pieces:
        s = rng.choice([s for s in free if p not in "Pp" or 8 <= s < 56])
        bd[s] = p
        free.remove(s)
    if attacked(bd, king_sq(bd, not white), white):
        return None
    if ep_file is not None:  # before the push the side to move now could not have been in check
        before = dict(bd)
        before[start] = before.pop(r5 * 8 + ep_file)
        if attacked(before, king_sq(before, white), not white):
            return None
    return fen_of(bd, white, ep, clock)


class Uci(UciPipe):
    """A persistent UCI engine with the tables; an answer later than TIMEOUT is a hang."""
    TIMEOUT = 60

    def __init__(self, path, tables):
        super().__init__(["nice", "-n", "5", path], name=path, stderr=subprocess.DEVNULL)
        self.uci(self.TIMEOUT)
        self.setoption("SyzygyPath", tables)
        self.sync(self.TIMEOUT)

    def search(self, pos, depth):
        """(score kind, value, bestmove, last info line) after `position pos` / `go depth`."""
        self.send("ucinewgame"), self.sync(self.TIMEOUT)
        self.send(f"position {pos}"), self.send(f"go depth {depth}")
        out = self.read_until("bestmove", self.TIMEOUT)
        info = [l for l in out if l.startswith("info") and " score " in l]
        m = re.search(r" score (cp|mate) (-?\d+)", info[-1]) if info else None
        score = (m.group(1), int(m.group(2))) if m else (None, 0)
        return score, out[-1].split()[1], info[-1] if info else ""

    def legal(self, fen):
        self.send(f"position fen {fen}"), self.send("go perft 1")
        out = self.read_until("Nodes searched", self.TIMEOUT)
        return [l.split(":")[0] for l in out if re.match(r"^[a-h][1-8][a-h][1-8][qrbn]?:", l)]


def result_of(score, win_from, draw_within):
    """W/D/L for the side to move from an engine's score; anything else (an ordinary evaluation
    where the tables should have answered) is returned as is, and so never matches."""
    kind, v = score
    if kind == "mate" or (kind == "cp" and abs(v) >= win_from):
        return "W" if v > 0 else "L"
    return "D" if kind == "cp" and abs(v) <= draw_within else f"{kind} {v}"


# Vantorel's proven results sit at |cp| >= 30000 and its draw is exactly 0. Stockfish 15.1 prints
# a TB win as cp 8795, and a cursed win (a draw under the fifty-move rule) as a few cp.
VANTOREL, SF = (30000, 0), (8000, 50)


def fathom(tables, fen):
    out = subprocess.run([FATHOM, f"--path={tables}", fen], capture_output=True, text=True).stdout
    tags = dict(re.findall(r'^\[(\w+) "(.*)"\]$', out, re.M))
    return tags if "WDL" in tags else None  # a table the position needs is missing


def san_to_uci(fen, san, legal):
    """The legal move (UCI) that fathom's SAN stands for; fathom's SAN has no check marks."""
    m = re.match(r"^([KQRBN])?([a-h])?([1-8])?x?([a-h][1-8])(?:=([QRBN]))?$", san)
    board = read_placement(fen)
    piece = lambda sq: board.get("abcdefgh".index(sq[0]) + 8 * (int(sq[1]) - 1), ".").upper()
    hits = [u for u in legal if u[2:4] == m.group(4) and piece(u[:2]) == (m.group(1) or "P")
            and (not m.group(2) or u[0] == m.group(2)) and (not m.group(3) or u[1] == m.group(3))
            and u[4:] == (m.group(5) or "").lower()]
    if len(hits) != 1:
        raise RuntimeError(f"fathom's {san} in {fen} matches {hits}")
    return hits[0]


def snapshot(tables):
    """A temporary folder of links to the complete tables in DIR, so that both engines and fathom
    see one set even while more tables are being made there (a table whose DTZ file changed in
    the last minute may still be being written)."""
    out, now = tempfile.mkdtemp(prefix="tb-check-tables-"), time.time()
    for f in os.listdir(tables):
        z = os.path.join(tables, f[:-1] + "z")
        if f.endswith(".rtbw") and os.path.exists(z) and now - os.path.getmtime(z) > 60:
            for x in (f, f[:-1] + "z"):
                os.symlink(os.path.join(tables, x), os.path.join(out, x))
    return out


def have_table(tables, pieces):
    side = lambda up: "K" + "".join(sorted((p.upper() for p in pieces if p.isupper() == up),
                                           key="QRBNP".index))
    return any(os.path.exists(os.path.join(tables, f"{x}v{y}.rtbw"))
               for x, y in ((side(True), side(False)), (side(False), side(True))))


def check(a, ve, sf, fen, legal):
    """The fathom WDL of fen and what is wrong with Vantorel's answer there."""
    tags = fathom(a.tables, fen)
    if tags is None:
        return None, []
    classes = {k: [san_to_uci(fen, s, legal) for s in tags[k].split(", ") if s]
               for k in ("WinningMoves", "DrawingMoves", "LosingMoves")}
    fres = {"Win": "W", "Loss": "L"}.get(tags["WDL"], "D")
    vscore, vbest, vinfo = ve.search(f"fen {fen}", a.depth)
    sscore, _, sinfo = sf.search(f"fen {fen}", 1)
    vres, sres = result_of(vscore, *VANTOREL), result_of(sscore, *SF)
    errs = []
    if sorted(sum(classes.values(), [])) != sorted(legal):
        errs.append(f"fathom's move lists do not cover the legal moves {legal}")
    if sres != fres:
        errs.append(f"oracles disagree: stockfish {sres} ({sinfo}), fathom {tags['WDL']}")
    if vres != sres:
        errs.append(f"result: Vantorel {vres} ({vinfo}), stockfish {sres}, fathom {tags['WDL']}")
    best = next(classes[k] for k in ("WinningMoves", "DrawingMoves", "LosingMoves") if classes[k])
    if vbest not in legal:
        errs.append(f"illegal bestmove {vbest}")
    elif vbest not in best:
        errs.append(f"bestmove {vbest} is not among fathom's best moves {best} ({vinfo})")
    else:
        after, _, ainfo = sf.search(f"fen {fen} moves {vbest}", 1)
        ares = {"W": "L", "L": "W", "D": "D"}.get(result_of(after, *SF), "?")
        if ares != fres:
            errs.append(f"after {vbest} stockfish sees {ares} for the mover ({ainfo})")
    return tags["WDL"], errs


def oracle(a):
    rng = random.Random(a.seed)
    ve, sf = Uci(a.engine, a.tables), Uci(STOCKFISH, a.tables)
    by, bad, n = defaultdict(Counter), [], 0
    while n < a.count:
        npieces, white, ep_file = rng.randint(3, 5), rng.random() < 0.5, None
        others = [rng.choice("QRBNP") for _ in range(npieces - 2)]
        others = [p if rng.random() < 0.5 else p.lower() for p in others]
        if npieces >= 4 and rng.random() < 1 / 3:
            ep_file = rng.randrange(8)
            others[:2] = ["p" if white else "P", "P" if white else "p"]
        if not have_table(a.tables, others):
            continue
        # Some halfmove clocks near the fifty-move limit, where a win may no longer be in time.
        clock = rng.randint(1, 99) if ep_file is None and rng.random() < 0.25 else 0
        pieces = ["K", "k"] + others if ep_file is None else others[:2] + ["K", "k"] + others[2:]
        fen = place(rng, pieces, white, ep_file, clock)
        if fen is None:
            continue
        legal = sf.legal(fen)
        if not legal:  # mate or stalemate: no move to judge
            continue
        try:
            wdl, errs = check(a, ve, sf, fen, legal)
        except RuntimeError as e:  # a crash or a hang
            sys.exit(f"{fen}: {e}")
        if wdl is None:
            continue
        n += 1
        kind = "clock > 0" if clock else "no ep, clock 0"
        if ep_file is not None:
            kind = f"ep, {'can' if any(u[2:4] == fen.split()[3] for u in legal) else 'cannot'} take"
        side = f"{'white' if white else 'black'} to move"
        for key in (f"{npieces} pieces", side, kind, f"fathom {wdl}"):
            by[key]["positions"] += 1
            by[key]["mismatches"] += bool(errs)
        bad += [(fen, e) for e in errs]
        if n % 200 == 0:
            print(f"{n}/{a.count} positions, {len(bad)} mismatches", flush=True)
    ve.quit(), sf.quit()
    print(f"\noracle: {n} positions, tables {a.given}, seed {a.seed}, "
          f"Vantorel {a.engine} at depth {a.depth}")
    for key in sorted(by):
        c = by[key]
        print(f"  {key:22} {c['positions']:5} positions, {c['mismatches']} with a mismatch")
    print(f"mismatches: {len(bad)}")
    for fen, e in bad:
        print(f"  {fen}: {e}")
    return 1 if bad else 0


# Material for the games, the stronger side first; a class whose table is missing is left out.
WON = ["KQvK", "KRvK", "KBNvK", "KBBvK", "KPvK", "KQvKR", "KQvKN", "KQvKB", "KRvKN",
       "KRPvKR", "KRBvKR", "KQPvKQ", "KPPvKP", "KBNvKP", "KQvKRP"]
DRAWN = ["KRvKR", "KQvKQ", "KBvKP", "KNvKP", "KPvKP", "KRvKB", "KPvK",
         "KRPvKR", "KBPvKB", "KRvKRP", "KQvKQP"]


def positions(rng, tables, classes, count, want):
    """count positions from classes in turn (strong side first in each name, and to move when
    want is Win; either side to move for a draw) whose fathom WDL is want."""
    out = []
    for i in range(count):
        cls = classes[i % len(classes)]
        for _ in range(100000):
            strong, weak = cls.split("v")
            swap = rng.random() < 0.5  # the strong side plays black
            pieces = [p.lower() if swap else p for p in strong]
            pieces += [p if swap else p.lower() for p in weak]
            stm = (not swap) if want == "Win" else rng.random() < 0.5
            fen = place(rng, pieces, stm)
            if fen and fen not in [f for f, _ in out]:
                tags = fathom(tables, fen) or {"WDL": None}
                if tags["WDL"] == want and (want != "Win" or int(tags["DTZ"]) >= 3):
                    out.append((fen, cls))
                    break
        else:
            raise RuntimeError(f"no {want} position found for {cls}")
    return out


def convert(a):
    rng = random.Random(a.seed)
    have = lambda c: have_table(a.tables, c[1:c.index("v")] + c[c.index("v") + 2:].lower())
    won = positions(rng, a.tables, [c for c in WON if have(c)], a.count, "Win")
    drawn = positions(rng, a.tables, [c for c in DRAWN if have(c)], a.drawn, "Draw")
    out = a.out or tempfile.mkdtemp(prefix="tb-check-")
    os.makedirs(out, exist_ok=True)
    book, pgn, js = (os.path.join(out, f) for f in ("positions.fen", "games.pgn", "match.json"))
    with open(book, "w") as f:
        f.writelines(fen + "\n" for fen, _ in won + drawn)
    cmd = ["node", a.match, "--e1", f"nice -n 5 {a.engine}", "--e2", f"nice -n 5 {STOCKFISH}",
           "--name1", "Vantorel", "--name2", "Stockfish", "--o1", f"SyzygyPath={a.tables}",
           "--o2", f"SyzygyPath={a.tables}", "--openings", book,
           "--games", str(2 * len(won + drawn)),
           "--tc", a.tc, "--pgn", pgn, "--json", js, "--quiet"]
    print("$ " + " ".join(f"'{c}'" if " " in c else c for c in cmd), flush=True)
    rc = subprocess.run(cmd).returncode
    games = open(pgn).read().split("\n\n[Event ")
    table, ends, longest, fails = defaultdict(Counter), defaultdict(Counter), Counter(), []
    for i, g in enumerate(games):
        tags = dict(re.findall(r'^\[?(\w+) "(.*)"\]$', g, re.M))
        fen, cls = (won + drawn)[i // 2]
        v_white = tags["White"] == "Vantorel"
        score = {"1-0": 1, "0-1": -1}.get(tags["Result"], 0) * (1 if v_white else -1)
        if i // 2 < len(won):
            v_strong = (fen.split()[1] == "w") == v_white
            key = f"won, Vantorel {'winning' if v_strong else 'losing'} side"
            ok = (score == 1 and tags["Termination"] == "checkmate") if v_strong else True
        else:
            key, ok = "drawn, Vantorel either side", score >= 0
        table[(key, cls)]["WDL"[1 - score]] += 1
        ends[key][tags["Termination"]] += 1
        moves = re.sub(r"\d+\.+", " ", g.split("\n\n")[1]).split()[:-1]
        longest[key] = max(longest[key], len(moves))
        if not ok:
            fails.append("[Event " + g.strip() if i else g.strip())
    print(f"\nconvert: {len(won)} won + {len(drawn)} drawn positions, {len(games)} games "
          f"at {a.tc}, "
          f"tables {a.given}, seed {a.seed}; files in {out}")
    print("  (W/D/L from Vantorel's side)")
    for (key, cls), c in sorted(table.items()):
        print(f"  {key:34} {cls:8} +{c['W']} ={c['D']} -{c['L']}")
    for key in sorted({k for k, _ in table}):
        t = sum((c for (k, _), c in table.items() if k == key), Counter())
        how = ", ".join(f"{r}: {c}" for r, c in ends[key].items())
        print(f"  {key:34} {'all':8} +{t['W']} ={t['D']} -{t['L']}  "
              f"({how}; longest {longest[key]} plies)")
    anomalies = json.load(open(js))["anomalies"]
    print(f"match anomalies: {len(anomalies)}")
    for x in anomalies:
        print(f"  {x}")
    print(f"failures: {len(fails)}")
    for g in fails:
        print(g + "\n")
    return 1 if fails or anomalies or rc else 0


def main():
    ap = argparse.ArgumentParser(description="Vantorel's Syzygy support against other oracles")
    sub = ap.add_subparsers(dest="cmd", required=True)
    for name in ("oracle", "convert"):
        p = sub.add_parser(name)
        p.add_argument("--tables", required=True)
        p.add_argument("--count", type=int, required=True)
        p.add_argument("--seed", type=int, required=True)
        p.add_argument("--engine", default=os.path.join(ROOT, "build", "vantorel"))
    sub.choices["oracle"].add_argument("--depth", type=int, default=1)
    sub.choices["convert"].add_argument("--drawn", type=int, default=20)
    sub.choices["convert"].add_argument("--tc", default="5+0.05")
    sub.choices["convert"].add_argument("--match", default=MATCH, help="the shared match tool")
    sub.choices["convert"].add_argument("--out", help="for the openings, PGN and JSON "
                                        "(default: a new temporary folder)")
    a = ap.parse_args()
    a.engine, a.given = os.path.abspath(a.engine), a.tables
    a.tables = snapshot(a.tables)
    atexit.register(shutil.rmtree, a.tables, True)
    print(f"{len(os.listdir(a.tables)) // 2} tables of {a.given} linked in {a.tables}", flush=True)
    sys.exit(oracle(a) if a.cmd == "oracle" else convert(a))


if __name__ == "__main__":
    main()
