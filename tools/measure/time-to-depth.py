#!/usr/bin/env python3
"""Time to reach a fixed depth on the bench positions, for each thread count.

Each position's depth is the deepest that one thread completes within --seconds (found by a
timed search first). Each position is then searched to its depth from a fresh engine (empty
tables), once per thread count and round, the counts alternating so that a busy machine slows
them alike. Prints each position's times (the `time` of the depth's info line, median over the
rounds), the median per thread count and the median of the per-position speed-ups against the
first count.

    tools/measure/time-to-depth.py [--engine build/vantorel] [--seconds 3] [--rounds 2] [--threads 1 2]
"""
import argparse
import pathlib
import re
import statistics
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools" / "lib"))
from uci_pipe import EngineError, UciPipe  # noqa: E402


def bench_fens():
    text = (ROOT / "src/uci/bench.cpp").read_text()
    return re.findall(r'"([^"]+ [wb] [^"]+)"', text)


def search(engine, fen, threads, limit):
    """The depth and time of every info line of one search, in order."""
    pipe = UciPipe(engine)
    pipe.setoption("Threads", threads)
    pipe.send(f"position fen {fen}")
    pipe.send(f"go {limit}")
    lines = []
    for line in pipe.read_until("bestmove"):  # the input stays open until the answer
        words = line.split()
        if words[:2] == ["info", "depth"] and "pv" in words:  # not the currmove lines
            lines.append((int(words[2]), int(words[words.index("time") + 1])))
    pipe.quit()
    return lines


def time_to_depth(engine, fen, depth, threads):
    return search(engine, fen, threads, f"depth {depth}")[-1][1]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--engine", default=str(ROOT / "build/vantorel"))
    parser.add_argument("--seconds", type=float, default=3)
    parser.add_argument("--rounds", type=int, default=2)
    parser.add_argument("--threads", type=int, nargs="+", default=[1, 2])
    args = parser.parse_args()

    fens = bench_fens()
    movetime = int(args.seconds * 1000)
    depths = [search(args.engine, fen, args.threads[0], f"movetime {movetime}")[-1][0]
              for fen in fens]
    times = {t: [[] for _ in fens] for t in args.threads}
    for _ in range(args.rounds):
        for i, fen in enumerate(fens):
            for t in args.threads:
                times[t][i].append(time_to_depth(args.engine, fen, depths[i], t))
    base = args.threads[0]
    for i, fen in enumerate(fens):
        row = "  ".join(f"{t}: {statistics.median(times[t][i]):7.0f} ms" for t in args.threads)
        print(f"position {i + 1}, depth {depths[i]:3}  {row}")
    for t in args.threads:
        medians = [statistics.median(p) for p in times[t]]
        line = f"threads {t}: median {statistics.median(medians):.0f} ms"
        if t != base:
            speedups = [statistics.median(b) / statistics.median(p)
                        for b, p in zip(times[base], times[t])]
            line += f", speed-up against {base} thread(s): median {statistics.median(speedups):.2f}"
        print(line)


if __name__ == "__main__":
    try:
        main()
    except EngineError as error:
        sys.exit(str(error))
