#!/usr/bin/env python3
"""Prints the 960 Chess960 start positions as FENs, one per line in Scharnagl order, for a
tournament runner's opening file (EPD-style: the runner reads the FEN fields it needs).
Castling in X-FEN (KQkq) by default, Shredder-FEN (rook files, e.g. HAha) with --shredder.

    tools/data/chess960_openings.py > chess960.epd
    fastchess ... -variant fischerandom -openings file=chess960.epd format=epd order=random"""
import sys


def scharnagl(n):
    """White's back rank, files a..h, of start position n (518 is the classical one)."""
    rank = [None] * 8
    n, b = divmod(n, 4)
    rank[2 * b + 1] = "B"            # light-squared bishop: b, d, f or h
    n, b = divmod(n, 4)
    rank[2 * b] = "B"                # dark-squared bishop: a, c, e or g
    n, q = divmod(n, 6)
    free = [f for f in range(8) if rank[f] is None]
    rank[free[q]] = "Q"
    knights = [(0, 1), (0, 2), (0, 3), (0, 4), (1, 2), (1, 3), (1, 4), (2, 3), (2, 4), (3, 4)][n]
    free = [f for f in range(8) if rank[f] is None]
    for k in knights:
        rank[free[k]] = "N"
    free = [f for f in range(8) if rank[f] is None]
    for f, piece in zip(free, "RKR"):
        rank[f] = piece
    return "".join(rank)


def main():
    args = sys.argv[1:]
    if args not in ([], ["--shredder"], ["--xfen"]):
        sys.exit("usage: chess960_openings.py [--xfen | --shredder]")
    shredder = args == ["--shredder"]
    for n in range(960):
        back = scharnagl(n)
        if shredder:
            rooks = [f for f, piece in zip("abcdefgh", back) if piece == "R"]
            rights = rooks[1].upper() + rooks[0].upper() + rooks[1] + rooks[0]
        else:
            rights = "KQkq"    # the rooks are the outermost ones on both sides
        print(f"{back.lower()}/pppppppp/8/8/8/8/PPPPPPPP/{back} w {rights} - 0 1")


if __name__ == "__main__":
    main()
