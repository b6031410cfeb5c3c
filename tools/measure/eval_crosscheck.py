#!/usr/bin/env python3
"""Cross-checks the engine's `eval` command against a slow, loop-based reference.

Plays random legal games through the engine (moves come from "perft 1"), sends "eval" after
every move and compares each trace row and the total with this script's own evaluation,
which works square by square instead of on bitboards. The PeSTO piece-square data is read
from the published listing (with the engine's own queen rank-8 end-game row).

    tools/measure/eval_crosscheck.py build/vantorel [--style Linear] [--games 40] [--seed 1]
        --pesto PATH/TO/pesto_tables.txt   (the published PeSTO listing)

Exit status 0 when every position agrees.
"""
import argparse
import os
import random
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "lib"))
from fen import PIECE_LETTERS, read_placement  # noqa: E402
from uci_pipe import EngineError, UciPipe  # noqa: E402

ARGS = argparse.ArgumentParser()
ARGS.add_argument("engine")
ARGS.add_argument("--style", default="PeSTO")
ARGS.add_argument("--games", type=int, default=40)
ARGS.add_argument("--plies", type=int, default=160)
ARGS.add_argument("--seed", type=int, default=1)
ARGS.add_argument("--pesto", required=True, help="the published PeSTO tables listing")
OPTS = ARGS.parse_args()

data = open(OPTS.pesto).read()
M32 = 0xFFFFFFFF
def ms(mg, eg): return (eg * 65536 + mg) & M32
def s16(x): x &= 0xFFFF; return x - 0x10000 if x >= 0x8000 else x
def mg_of(s): return s16(s)
def eg_of(s): return s16(s >> 16)
def tdiv(a, b):  # truncation toward zero
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b >= 0) else -q

PIECES = ['pawn', 'knight', 'bishop', 'rook', 'queen', 'king']
pub = {}
for m in re.finditer(r'\[(\w+) (mg|eg)\]\n((?:.*\n){8})', data):
    pub[(m.group(1), m.group(2))] = [int(x) for x in m.group(3).split()]
pub[('queen', 'eg')][:8] = [-9, -22, -27, -27, -2, -23, -10, -12]
# Rows from rank 8 down to rank 1, files a to h.
KING_ENDGAME = [
    [-29, -2, -15, -6, -2, -14, -7, -29],
    [-2, 14, 28, 25, 20, 35, 21, 8],
    [-1, 15, 29, 23, 19, 26, 23, 2],
    [-17, 11, 18, 17, 18, 13, 14, -8],
    [-24, 4, 12, 16, 10, 8, 3, -20],
    [-13, 1, 5, 8, 4, 6, 6, -7],
    [-11, -4, -2, 1, 3, 1, -4, -15],
    [-29, -16, -10, -9, -14, -9, -13, -23],
]
LINEAR_PAWN = [
    [(0, 0), (0, 0), (0, 0), (0, 0), (0, 0), (0, 0), (0, 0), (0, 0)],
    [(83, 111), (61, 79), (133, 175), (107, 121), (132, 135), (117, 107), (84, 88), (134, 187)],
    [(67, 88), (56, 41), (37, 63), (78, 95), (99, 104), (31, 53), (80, 88), (86, 104)],
    [(26, 45), (23, 39), (28, 34), (55, 58), (39, 31), (39, 37), (53, 53), (43, 46)],
    [(8, 14), (11, 21), (15, 16), (14, 17), (21, 16), (25, 17), (26, 18), (24, 16)],
    [(-2, 5), (7, 7), (-4, -8), (-5, 4), (-4, -3), (0, -2), (10, 14), (5, 1)],
    [(15, 14), (10, 16), (5, 21), (10, 15), (24, 50), (8, 13), (10, 10), (8, 9)],
    [(0, 0), (0, 0), (0, 0), (0, 0), (0, 0), (0, 0), (0, 0), (0, 0)],
]
LINEAR_KNIGHT = [
    [(39, 23), (79, 35), (-14, 5), (19, 11), (64, 30), (45, 37), (64, 31), (20, 12)],
    [(35, 12), (1, 4), (3, 1), (29, 18), (42, 27), (66, 23), (78, 32), (32, 26)],
    [(42, 23), (26, 15), (22, 15), (55, 21), (52, 25), (54, 33), (39, 26), (65, 29)],
    [(8, 2), (-1, -2), (15, 12), (29, 13), (10, 10), (30, 19), (19, 12), (3, 2)],
    [(-20, -4), (-21, -7), (-5, 1), (-6, 0), (-2, 4), (0, 0), (21, 18), (-1, -4)],
    [(-64, -41), (-19, -13), (4, 0), (-19, -10), (-9, -7), (-9, -6), (-5, -5), (-24, -15)],
    [(-34, -10), (-56, -21), (-64, -33), (-26, -15), (-9, -9), (-42, -25), (-49, -23), (-18, -7)],
    [(-117, -62), (-31, -24), (-87, -49), (-53, -33), (-55, -30), (-45, -30), (-37, -24), (-167, -99)],
]
LINEAR_BISHOP = [
    [(-7, -8), (1, -3), (19, -1), (14, 4), (-1, -1), (9, 0), (56, 13), (72, 18)],
    [(10, -5), (8, 3), (11, 2), (16, 8), (24, 3), (32, 13), (18, 8), (23, 9)],
    [(-2, 1), (30, 5), (-6, 4), (13, 4), (32, 8), (20, 9), (80, 20), (32, 12)],
    [(-3, 2), (-22, -1), (15, 6), (15, 11), (11, 4), (28, 13), (15, 6), (12, -1)],
    [(-16, -2), (-12, 0), (7, 5), (17, -1), (5, 3), (10, 2), (5, 3), (-3, -4)],
    [(4, -4), (-1, 1), (-10, -1), (14, 4), (4, 1), (-30, -6), (-5, 0), (-4, -2)],
    [(-66, -13), (-21, -6), (15, -2), (-37, -10), (-35, -12), (2, -5), (-3, -1), (-54, -6)],
    [(-49, -17), (10, -2), (-30, -12), (-82, -21), (-68, -17), (-36, -9), (-23, -5), (-82, -27)],
]
LINEAR_QUEEN = [
    [(8, 10), (12, 3), (24, 14), (-14, -12), (27, 24), (47, 40), (36, 35), (31, 22)],
    [(-16, -9), (-1, 3), (10, 7), (-4, 1), (10, 16), (39, 33), (39, 35), (46, 26)],
    [(6, 5), (-5, -4), (15, 21), (10, 13), (31, 22), (34, 31), (44, 31), (22, 18)],
    [(-16, -15), (-20, -5), (7, 12), (15, 14), (17, 14), (17, 16), (2, 2), (17, 11)],
    [(-24, -13), (-18, -4), (-9, -8), (6, 12), (-4, -2), (0, -1), (6, 2), (-2, -1)],
    [(7, 0), (-6, -2), (-15, -10), (-15, -12), (-9, -9), (-10, -10), (-4, -5), (6, 4)],
    [(-49, -37), (-20, -18), (-14, -11), (-8, -15), (-16, -16), (-17, -18), (-7, -16), (12, -9)],
    [(-8, -9), (-27, -21), (-36, -32), (-21, -20), (-32, -21), (-43, -35), (-54, -58), (-59, -42)],
]
lin = {'pawn': LINEAR_PAWN, 'knight': LINEAR_KNIGHT, 'bishop': LINEAR_BISHOP, 'queen': LINEAR_QUEEN}
kingeg = KING_ENDGAME
VAL = [(82, 94), (337, 281), (365, 297), (477, 512), (1025, 936), (0, 0)]

def build_psq(style):
    t = [[0] * 64 for _ in range(12)]
    for ty, name in enumerate(PIECES):
        for sq in range(64):
            f, r = sq % 8, sq // 8
            idx = (7 - r) * 8 + f
            if style == 1 and name in lin:
                p = ms(*lin[name][7 - r][f])
            else:
                p = ms(pub[(name, 'mg')][idx], pub[(name, 'eg')][idx] if name != 'king' else 0)
            if name == 'king':
                p = ms(mg_of(p), kingeg[7 - r][f])
            m, e = mg_of(p), eg_of(p)
            w = ms(VAL[ty][0] + m, VAL[ty][1] + e)
            t[ty][sq] = w
            t[ty + 6][sq ^ 56] = (-w) & M32
    return t

def parse(fen):
    board = {sq: PIECE_LETTERS.index(p) for sq, p in read_placement(fen).items()}
    return board, (0 if fen.split()[1] == 'w' else 1)

def on(f, r): return 0 <= f < 8 and 0 <= r < 8
def slide(board, sq, dirs):
    out = set()
    for df, dr in dirs:
        f, r = sq % 8 + df, sq // 8 + dr
        while on(f, r):
            out.add(r * 8 + f)
            if r * 8 + f in board: break
            f += df; r += dr
    return out
BD = [(1, 1), (1, -1), (-1, 1), (-1, -1)]; RD = [(1, 0), (-1, 0), (0, 1), (0, -1)]
def jumps(sq, deltas):
    return {(sq // 8 + dr) * 8 + sq % 8 + df for df, dr in deltas if on(sq % 8 + df, sq // 8 + dr)}
ND = [(1, 2), (2, 1), (-1, 2), (-2, 1), (1, -2), (2, -1), (-1, -2), (-2, -1)]
KD = [(a, b) for a in (-1, 0, 1) for b in (-1, 0, 1) if (a, b) != (0, 0)]
def attacks(board, ty, sq, col):
    if ty == 0: return jumps(sq, [(-1, 1), (1, 1)] if col == 0 else [(-1, -1), (1, -1)])
    if ty == 1: return jumps(sq, ND)
    if ty == 2: return slide(board, sq, BD)
    if ty == 3: return slide(board, sq, RD)
    if ty == 4: return slide(board, sq, BD + RD)
    return jumps(sq, KD)
def squares_of(board, col, ty): return sorted(s for s, p in board.items() if p == col * 6 + ty)
def pawn_att(board, col):
    out = set()
    for s in squares_of(board, col, 0): out |= attacks(board, 0, s, col)
    return out
def ahead(col, r1, r2): return r2 > r1 if col == 0 else r2 < r1

def pawn_score(board, col):
    tot = 0
    own = squares_of(board, col, 0); en = squares_of(board, col ^ 1, 0)
    enatt = pawn_att(board, col ^ 1)
    for sq in own:
        f, r = sq % 8, sq // 8
        rr = r if col == 0 else 7 - r
        adj = lambda s: abs(s % 8 - f) == 1
        if sum(1 for s in own if s % 8 == f) > 1: tot -= ms(5, 12)
        if not any(adj(s) for s in own): tot -= ms(11, 15)
        behind1 = r - 1 if col == 0 else r + 1
        if any(adj(s) and s // 8 in (r, behind1) for s in own): tot += ms(5, 8)
        passed = not any(abs(s % 8 - f) <= 1 and ahead(col, r, s // 8) for s in en)
        if passed: tot += ms(*[(0, 0), (5, 18), (12, 23), (24, 31), (46, 54), (97, 111), (173, 182), (0, 0)][rr])
        elif not any(s % 8 == f and ahead(col, r, s // 8) for s in en):
            a = sum(1 for s in own if adj(s) and ahead(col, s // 8, r))
            b = sum(1 for s in en if adj(s) and ahead(col, r, s // 8))
            if a >= b: tot += ms(*[(0, 0), (3, 8), (5, 10), (10, 15), (20, 28), (40, 55), (0, 0), (0, 0)][rr])
        stop_r = r + 1 if col == 0 else r - 1
        if not any(adj(s) and ahead(col, s // 8, r) for s in own) and 0 <= stop_r < 8 and stop_r * 8 + f in enatt:
            tot -= ms(10, 12)
    return tot & M32

def kingsq(board, col):
    k = squares_of(board, col, 5)
    return k[0] if k else None
def dist(a, b): return max(abs(a % 8 - b % 8), abs(a // 8 - b // 8))
def prox(board):
    wk, bk = kingsq(board, 0), kingsq(board, 1)
    if wk is None or bk is None: return 0
    tot = 0
    for col in (0, 1):
        en = squares_of(board, col ^ 1, 0)
        for sq in squares_of(board, col, 0):
            f, r = sq % 8, sq // 8
            if any(abs(s % 8 - f) <= 1 and ahead(col, r, s // 8) for s in en): continue
            if col == 0: tot += ms(0, tdiv((8 * dist(sq, bk) - 5 * dist(sq, wk)) * r, 6))
            else: tot -= ms(0, tdiv((8 * dist(sq, wk) - 5 * dist(sq, bk)) * (7 - r), 6))
    return tot & M32

NM = [(-62, -79), (-53, -57), (-12, -31), (-3, -17), (3, 7), (12, 13), (21, 16), (28, 21), (37, 25)]
BM = [(-47, -59), (-20, -25), (14, -8), (29, 12), (39, 21), (53, 40), (53, 56), (60, 58), (62, 65), (69, 72), (78, 78), (83, 87), (91, 88), (96, 98)]
RM = [(-60, -82), (-24, -15), (0, 17), (3, 43), (4, 72), (14, 100), (20, 102), (30, 122), (41, 133), (41, 139), (41, 153), (45, 160), (57, 165), (58, 170), (67, 175)]
QM = [(-29, -18), (-16, -5), (-8, 8), (-8, 13), (-7, 16), (-7, 23), (-4, 20), (0, 21), (2, 21), (4, 28), (6, 25), (6, 28), (7, 25)] + [(7, 28)] * 15
def mobility(board, col):
    bad = set(squares_of(board, col, 0)) | set(squares_of(board, col, 5)) | pawn_att(board, col ^ 1)
    tot = 0
    for ty, tab in ((1, NM), (2, BM), (3, RM), (4, QM)):
        for sq in squares_of(board, col, ty):
            n = len(attacks(board, ty, sq, col) - bad)
            tot += ms(*tab[min(n, len(tab) - 1)])
    return tot & M32

def light(sq): return (sq % 8 + sq // 8) % 2 == 1
def outposts(board, col):
    enatt = pawn_att(board, col ^ 1)
    span = set()
    for s in enatt:
        for r in range(8):
            if (col == 0 and r <= s // 8) or (col == 1 and r >= s // 8): span.add(r * 8 + s % 8)
    zone = {3, 4, 5} if col == 0 else {4, 3, 2}
    sup = pawn_att(board, col)
    tot = 0
    for ty, tab in ((1, {(0, 1): (15, 8), (0, 0): (10, 5), (1, 1): (30, 18), (1, 0): (20, 12)}), (2, {(0, 1): (10, 5), (0, 0): (6, 3), (1, 1): (20, 12), (1, 0): (14, 8)})):
        for sq in squares_of(board, col, ty):
            if sq // 8 in zone and sq not in span:
                tot += ms(*tab[(int(sq in sup), int(sq % 8 not in (0, 7)))])
    for sq in squares_of(board, col, 2):
        cnt = 0
        for p in squares_of(board, col, 0):
            front = p + 8 if col == 0 else p - 8
            if 0 <= front < 64 and board.get(front) == (col ^ 1) * 6 and light(p) != light(sq): cnt += 1
        tot += cnt * ms(-4, -6)
    return tot & M32

def rooks(board, col):
    tot = 0
    for sq in squares_of(board, col, 3):
        f = sq % 8
        if not any(s % 8 == f for s in squares_of(board, col, 0)):
            tot += ms(20, 13) if any(s % 8 == f for s in squares_of(board, col ^ 1, 0)) else ms(47, 26)
        seventh = 6 if col == 0 else 1
        back = 7 if col == 0 else 0
        if sq // 8 == seventh and (any(s // 8 == back for s in squares_of(board, col ^ 1, 5)) or any(s // 8 == seventh for s in squares_of(board, col ^ 1, 0))):
            tot += ms(27, 33)
    return tot & M32

def threats(board, col):
    tot = 0
    er = set(squares_of(board, col ^ 1, 3)); eq = set(squares_of(board, col ^ 1, 4))
    for ty in (1, 2):
        for sq in squares_of(board, col, ty):
            a = attacks(board, ty, sq, col)
            if a & er: tot += ms(45, 20)
            if a & eq: tot += ms(50, 25)
    S = pawn_att(board, col)
    if S & (set(squares_of(board, col ^ 1, 1)) | set(squares_of(board, col ^ 1, 2))): tot += ms(55, 30)
    if S & er: tot += ms(60, 15)
    return tot & M32

KDT = [0, 0, 1, 2, 3, 5, 7, 10, 13, 16, 20, 24, 28, 33, 38, 44, 50, 56, 62, 68, 75, 83, 91] + [100 + 10 * (i - 23) for i in range(23, 100)]
def king_danger(board, col):
    k = kingsq(board, col)
    if k is None: return 0
    e = col ^ 1
    zone = attacks(board, 5, k, col)
    u = 0
    for ty, w in ((1, 2), (2, 2), (3, 3), (4, 5)):
        for sq in squares_of(board, e, ty):
            if attacks(board, ty, sq, e) & zone: u = min(u + w, 99)
    epieces = {s for s, p in board.items() if p // 6 == e}
    safe = set(range(64)) - pawn_att(board, col) - epieces
    R = slide(board, k, RD); B = slide(board, k, BD)
    qs = squares_of(board, e, 4)
    if qs and attacks(board, 4, qs[0], e) & (R | B) & safe: u += 6
    if any(attacks(board, 3, s, e) & R & safe for s in squares_of(board, e, 3)): u += 3
    if any(attacks(board, 2, s, e) & B & safe for s in squares_of(board, e, 2)): u += 2
    if any(attacks(board, 1, s, e) & jumps(k, ND) & safe for s in squares_of(board, e, 1)): u += 2
    d = KDT[u] if u <= 99 else 860
    for f in (k % 8 - 1, k % 8, k % 8 + 1):
        if not 0 <= f < 8: continue
        if any(s % 8 == f for s in squares_of(board, col, 0)): continue
        d += 10 if any(s % 8 == f for s in squares_of(board, e, 0)) else 20
    return d

def cnt(board, col, ty): return len(squares_of(board, col, ty))
def evaluate(board, side, psq):
    s = psq
    s += pawn_score(board, 0) - pawn_score(board, 1)
    s += mobility(board, 0) - mobility(board, 1)
    s += outposts(board, 0) - outposts(board, 1)
    if cnt(board, 0, 2) >= 2: s += ms(22, 30)
    if cnt(board, 1, 2) >= 2: s -= ms(22, 30)
    s += rooks(board, 0) - rooks(board, 1)
    s += threats(board, 0) - threats(board, 1)
    s += king_danger(board, 1) - king_danger(board, 0)
    s += prox(board)
    s &= M32
    terms = s
    if all(cnt(board, c, t) == 0 for c in (0, 1) for t in (0, 3, 4)):
        wn, wb, bn, bb = cnt(board, 0, 1), cnt(board, 0, 2), cnt(board, 1, 1), cnt(board, 1, 2)
        wm, bm = wn + wb, bn + bb
        if (wm == 0 and bm == 0) or (wm <= 1 and bm == 0) or (bm <= 1 and wm == 0) or (wn == 2 and wb == 0 and bm == 0) or (bn == 2 and bb == 0 and wm == 0):
            return terms, 0
        if wn == 0 and bn == 0 and wb == 1 and bb == 1 and light(squares_of(board, 0, 2)[0]) == light(squares_of(board, 1, 2)[0]):
            return terms, 0
    phase = min(24, sum(cnt(board, c, 1) + cnt(board, c, 2) + 2 * cnt(board, c, 3) + 4 * cnt(board, c, 4) for c in (0, 1)))
    t = tdiv(mg_of(s) * phase + eg_of(s) * (24 - phase), 24)
    t += 20 if side == 0 else -20
    for c in (0, 1):
        o = c ^ 1
        if cnt(board, c, 0) == cnt(board, c, 1) == cnt(board, c, 2) == 0 and cnt(board, c, 3) + cnt(board, c, 4) == 1 and all(p == o * 6 + 5 for s2, p in board.items() if p // 6 == o):
            w, k = kingsq(board, o), kingsq(board, c)
            if w is not None and k is not None:
                edge = min(w % 8, 7 - w % 8, w // 8, 7 - w // 8)
                b = 10 * (13 - 2 * edge - dist(k, w))
                t += b if c == 0 else -b
            break
    strong = 0 if t > 0 else 1; weak = strong ^ 1
    f = 256
    done = False
    if cnt(board, strong, 0) == 0:
        adv = 9 * (cnt(board, strong, 4) - cnt(board, weak, 4)) + 5 * (cnt(board, strong, 3) - cnt(board, weak, 3)) + 3 * (cnt(board, strong, 2) - cnt(board, weak, 2)) + 3 * (cnt(board, strong, 1) - cnt(board, weak, 1))
        if adv <= 3: f = 16; done = True
        elif adv <= 5: f = 64; done = True
        elif adv <= 8: f = 128; done = True
    if not done and cnt(board, 0, 2) == 1 and cnt(board, 1, 2) == 1 and all(cnt(board, c, t2) == 0 for c in (0, 1) for t2 in (1, 3, 4)) and light(squares_of(board, 0, 2)[0]) != light(squares_of(board, 1, 2)[0]):
        p = cnt(board, 0, 0) + cnt(board, 1, 0)
        f = 32 if p <= 2 else 96 if p <= 4 else 160
    if f != 256: t = tdiv(t * f, 256)
    return terms, (t if side == 0 else -t)


START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"


def apply_uci(board, side, move):
    """Plays a legal UCI move on the square -> piece dict; castling, en passant, promotion."""
    frm = (int(move[1]) - 1) * 8 + ord(move[0]) - 97
    to = (int(move[3]) - 1) * 8 + ord(move[2]) - 97
    piece = board.pop(frm)
    if piece % 6 == 0 and frm % 8 != to % 8 and to not in board:
        board.pop(to - 8 if side == 0 else to + 8, None)  # en passant
    if piece % 6 == 5 and abs(to - frm) == 2:
        rook_from, rook_to = (frm + 3, frm + 1) if to > frm else (frm - 4, frm - 1)
        board[rook_to] = board.pop(rook_from)
    if len(move) > 4:
        piece = side * 6 + "pnbrqk".index(move[4])
    board[to] = piece


def two_halves(line):
    m = re.search(r"MG:\s*([+-]\d+)\s+EG:\s*([+-]\d+)", line)
    return int(m.group(1)), int(m.group(2))


def expected_rows(board, side, psqt):
    psq = sum(psqt[p][s] for s, p in board.items()) & M32
    halves = lambda s: (mg_of(s), eg_of(s))
    rb = rooks(board, 1)
    phase = min(24, sum(cnt(board, c, 1) + cnt(board, c, 2) + 2 * cnt(board, c, 3)
                        + 4 * cnt(board, c, 4) for c in (0, 1)))
    pair = (22 if cnt(board, 0, 2) >= 2 else 0) - (22 if cnt(board, 1, 2) >= 2 else 0)
    kw, kb = king_danger(board, 0), king_danger(board, 1)
    return {
        "Phase": phase,
        "Material+PST": halves(psq),
        "Pawns": halves((pawn_score(board, 0) - pawn_score(board, 1)) & M32),
        "Mobility": halves((mobility(board, 0) - mobility(board, 1)) & M32),
        "RooksW": halves(rooks(board, 0)),
        "RooksB": (-mg_of(rb), -eg_of(rb)),
        "Threats": halves((threats(board, 0) - threats(board, 1)) & M32),
        "BishopPair": pair,
        "KingSafety": (kw, kb, kb - kw),
        "Total": evaluate(board, side, psq)[1],
    }


def parsed_rows(lines):
    rows = {}
    for line in lines:
        if line.startswith("Phase:"):
            rows["Phase"] = int(line.split()[1].split("/")[0])
        elif line.startswith("BishopPair"):
            rows["BishopPair"] = int(line.split()[1])
        elif line.startswith("KingSafety"):
            m = re.search(r"W: (\d+)  B: (\d+)  net: ([+-]\d+)", line)
            rows["KingSafety"] = tuple(int(x) for x in m.groups())
        elif line.startswith("Total"):
            rows["Total"] = int(re.search(r"([+-]\d+) cp", line).group(1))
        elif "MG:" in line:
            rows[line.split()[0]] = two_halves(line)
    return rows


def main():
    rng = random.Random(OPTS.seed)
    psqt = build_psq(1 if OPTS.style.startswith("Linear") else 0)
    engine = UciPipe(OPTS.engine)
    send = engine.send
    send("setoption name Style value " + OPTS.style)
    checked = failed = 0
    for _ in range(OPTS.games):
        board, side = parse(START)
        moves = []
        for _ in range(OPTS.plies):
            position = "position startpos" + (" moves " + " ".join(moves) if moves else "")
            send(position)
            send("eval")
            got = parsed_rows(engine.read_until("Total"))
            want = expected_rows(board, side, psqt)
            checked += 1
            if got != want:
                failed += 1
                if failed <= 10:
                    print(position)
                    for key in want:
                        if got.get(key) != want[key]:
                            print("  %-13s engine %s  reference %s" % (key, got.get(key), want[key]))
            send("perft 1")
            legal = [l.split(":")[0] for l in engine.read_until("Total:") if not l.startswith("Total")]
            # Captures are favoured so that games reach the end-game rules.
            if not legal or len(moves) > 600:
                break
            move = rng.choice(legal)
            captures = [m for m in legal if (int(m[3]) - 1) * 8 + ord(m[2]) - 97 in board]
            if captures and rng.random() < 0.5:
                move = rng.choice(captures)
            apply_uci(board, side, move)
            moves.append(move)
            side ^= 1
    engine.quit()
    print("positions %d, mismatches %d" % (checked, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except EngineError as error:
        sys.exit(str(error))
