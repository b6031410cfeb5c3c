#!/usr/bin/env python3
"""An analysis GUI's traffic for a long time: random positions reached by random legal moves,
`go infinite` stopped after a random while, pondering with hits and misses, `go` with depth,
nodes and movetime limits, option changes between searches (Threads, MultiPV, Style,
UCI_ShowWDL, Clear Hash, SyzygyPath), `ucinewgame` and `isready`. Meant for a sanitizer build.
Hash stays at 64 MB, so that the resident memory of the first and the last minutes compare.

    tools/measure/analysis-soak.py --engine build-asan/vantorel --minutes 60 [--threads 4]
        [--syzygy DIR] [--seed 1] [--log FILE]

Fails (exit 1) when a search goes unanswered or answers twice, an isready has no readyok, the
engine exits or writes anything on standard error (a sanitizer's report). Every minute it
prints the resident memory; the peak of the first ten minutes and of the last ten are compared
at the end (a growth of more than 8 MB fails)."""
import argparse
import os
import random
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
from uci_pipe import EngineError, UciPipe  # noqa: E402

START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def start_fens():
    """The start position, the perft suite's and the mate set's positions."""
    fens = [START]
    for name in ("perft_suite.txt", "mates.txt"):
        with open(os.path.join(ROOT, "tests", "data", name)) as f:
            fens += [line.split(";")[0].strip() for line in f if line.strip() and line[0] != "#"]
    return fens


def resident_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def legal_moves(engine, position):
    engine.send(position)
    engine.send("perft 1")
    lines = engine.read_until("Total: ", 60)
    return [l.split(":")[0] for l in lines[:-1]]


def random_position(engine, rng, fens):
    fen = rng.choice(fens)
    moves = []
    for _ in range(rng.randrange(0, 40)):
        legal = legal_moves(engine, f"position fen {fen} moves {' '.join(moves)}".rstrip())
        if not legal:
            break
        moves.append(rng.choice(legal))
    return f"position fen {fen}" + (f" moves {' '.join(moves)}" if moves else "")


def search(engine, rng, position, counts):
    """One search of a random kind; returns when its bestmove has come."""
    engine.send(position)
    kind = rng.choice(["infinite", "infinite", "ponder", "depth", "nodes", "movetime"])
    if kind == "infinite" or kind == "ponder":
        engine.send("go infinite" if kind == "infinite" else "go ponder wtime 60000 btime 60000")
        time.sleep(rng.choice([0.0, 0.01, 0.1, 0.5, 2.0, 8.0]))
        if rng.random() < 0.3:
            engine.send("isready")
            engine.read_until("readyok", 30)
        engine.send("ponderhit" if kind == "ponder" and rng.random() < 0.5 else "stop")
    else:
        limit = {"depth": rng.randrange(1, 14), "nodes": rng.randrange(1, 300000),
                 "movetime": rng.randrange(1, 1500)}[kind]
        engine.send(f"go {kind} {limit}")
    lines = engine.read_until("bestmove", 120)
    counts[kind] = counts.get(kind, 0) + 1
    engine.send("isready")
    after = engine.read_until("readyok", 30)
    if any(l.startswith("bestmove") for l in after):
        raise EngineError(f"a second bestmove: {after}")
    return lines


def change_options(engine, rng, args):
    name, value = rng.choice([
        ("Threads", rng.choice([1, 2, args.threads, args.threads])),
        ("MultiPV", rng.choice([1, 1, 3, 500])),
        ("Style", rng.choice(["PeSTO", "Neural"])),
        ("UCI_ShowWDL", rng.choice(["true", "false"])),
        ("Clear Hash", None),
        ("SyzygyPath", rng.choice([args.syzygy or "<empty>", "<empty>", "/nonexistent"])),
    ])
    engine.send(f"setoption name {name}" + ("" if value is None else f" value {value}"))
    if rng.random() < 0.2:
        engine.send("ucinewgame")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--engine", required=True)
    ap.add_argument("--minutes", type=float, default=60)
    ap.add_argument("--threads", type=int, default=4)
    ap.add_argument("--syzygy")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--log", help="the engine's standard error (default: a temporary file)")
    args = ap.parse_args()
    rng = random.Random(args.seed)
    fens = start_fens()
    log_path = args.log or tempfile.mkstemp(prefix="soak-", suffix=".err")[1]
    with open(log_path, "w") as log:
        engine = UciPipe(args.engine, stderr=log)
    engine.uci(30)
    engine.setoption("Threads", args.threads)
    engine.setoption("Hash", 64)
    if args.syzygy:
        engine.setoption("SyzygyPath", args.syzygy)
    counts, samples = {}, []
    start = next_sample = time.monotonic()
    failure = None
    try:
        while time.monotonic() - start < args.minutes * 60:
            if time.monotonic() >= next_sample:
                samples.append((time.monotonic() - start, resident_kb(engine.proc.pid)))
                print(f"{samples[-1][0] / 60:5.1f} min: resident {samples[-1][1] // 1024} MB, "
                      f"searches {sum(counts.values())} {counts}", flush=True)
                next_sample += 60
            if rng.random() < 0.3:
                change_options(engine, rng, args)
            search(engine, rng, random_position(engine, rng, fens), counts)
            if os.path.getsize(log_path):
                raise EngineError("the engine wrote on standard error")
    except EngineError as e:
        failure = str(e)
    engine.send("quit")
    code = engine._exit_code()
    if code:
        failure = failure or f"exit code {code}"
    if os.path.getsize(log_path):
        failure = failure or "the engine wrote on standard error"
        print(open(log_path).read()[:4000])
    first = max((kb for t, kb in samples if t < 600), default=0)
    last = max((kb for t, kb in samples if t >= samples[-1][0] - 600), default=0)
    print(f"searches {sum(counts.values())} {counts}; peak resident: first ten minutes "
          f"{first // 1024} MB, last ten {last // 1024} MB")
    if last - first > 8 * 1024:
        failure = failure or "resident memory grew"
    print("FAILED: " + failure if failure else "passed")
    sys.exit(1 if failure else 0)


if __name__ == "__main__":
    main()
