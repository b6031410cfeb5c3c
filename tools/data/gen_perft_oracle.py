#!/usr/bin/env python3
"""Writes tests/data/perft_oracle.txt: positions reached by random legal play from the perft
suite positions, with leaf counts from Debian's stockfish (`apt-get install stockfish`).
Each line: FEN ; depth ; count. Run once; the tests read the file and need no stockfish."""
import os
import random
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools", "lib"))
from uci_pipe import UciPipe  # noqa: E402

STARTS = [
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/p1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
]


OUTPUT = os.path.join(ROOT, "tests", "data", "perft_oracle.txt")


class Oracle(UciPipe):
    def perft(self, fen, depth):
        self.send(f"position fen {fen}")
        self.send(f"go perft {depth}")
        lines = self.read_until("Nodes searched")
        moves = [l.split(":")[0] for l in lines if ":" in l and not l.startswith("Nodes")]
        return moves, int(lines[-1].split(":")[1])

    def fen_after(self, fen, move):
        self.send(f"position fen {fen} moves {move}")
        self.send("d")
        for line in self.read_until("Checkers"):
            if line.startswith("Fen: "):
                return line[5:]
        raise RuntimeError("no fen")


def main():
    oracle = Oracle(sys.argv[1] if len(sys.argv) > 1 else "/usr/games/stockfish")
    rng = random.Random(2026)
    rows = []
    for start in STARTS:
        for walk in range(50):
            fen = start
            for _ in range(rng.randint(1, 60)):
                moves, _ = oracle.perft(fen, 1)
                if not moves:
                    break
                fen = oracle.fen_after(fen, rng.choice(moves))
            _, count = oracle.perft(fen, 3)
            depth = 3
            if count < 20000:
                _, count = oracle.perft(fen, 4)
                depth = 4
            rows.append(f"{fen} ; {depth} ; {count}")
    with open(OUTPUT, "w") as out:
        out.write("# FEN ; depth ; leaf count (stockfish), from tools/data/gen_perft_oracle.py\n")
        out.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
