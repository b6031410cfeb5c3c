#!/usr/bin/python3
"""A match cut into shards of openings, played on a Dask cluster with the shared match tool.

    tools/measure/match-shards.py --e1 ENGINE [--o1 NAME=VALUE ...] [--name1 N]
        --e2 ENGINE [--o2 NAME=VALUE ...] [--name2 N] --openings FILE --games N
        [--tc B+I] [--nodes N] [--shards K] [--out DIR] [--match PATH/match.mjs]
        [--scheduler ADDRESS | --workers N]

The openings (one FEN or EPD per line, read again from the top when short) are cut into K
consecutive blocks, each opening played twice with colours swapped, so that the shards share no
game and together play the games of one run. Each shard is one run of the match tool
(../shared/tools/match/match.mjs by default), which checks every move and PV; the tool and
engine 1 travel to the workers (engine 2, for example a Debian package, must be at the same
path on each). A worker lost mid-shard has its shard played again. Each shard's PGN, JSON
summary and log land in DIR, and the total W/D/L, score, Elo with its 95 % interval and the
anomalies are printed and written to DIR/total.json. Exit status 1 on any anomaly or failed
shard.
"""
import argparse
import json
import math
import os
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "lib"))
import shards  # noqa: E402

ROOT = Path(__file__).resolve().parents[2]


def play_shard(tool, engine1, engine2, openings, games, options):
    """One run of the match tool on a worker: its summary, PGN and log."""
    with tempfile.TemporaryDirectory() as scratch:
        work = Path(scratch)
        (work / "openings.epd").write_text("\n".join(openings) + "\n")
        command = ["node", str(Path(shards.unpacked(tool)) / "match.mjs"),
                   "--e1", shards.unpacked(engine1), "--e2", engine2, "--games", str(games),
                   "--openings", str(work / "openings.epd"), "--pgn", str(work / "games.pgn"),
                   "--json", str(work / "summary.json")] + options
        run = subprocess.run(command, capture_output=True, text=True)
        summary = work / "summary.json"
        if not summary.exists():
            raise RuntimeError(f"match tool exit {run.returncode}: {run.stderr[-500:]}")
        pgn = work / "games.pgn"
        return (json.loads(summary.read_text()), pgn.read_text() if pgn.exists() else "",
                run.stdout + run.stderr)


def total(summaries):
    """W/D/L, score, Elo and its 95 % interval (normal approximation of the per-game score)."""
    w = sum(s["wins"] for s in summaries)
    d = sum(s["draws"] for s in summaries)
    l = sum(s["losses"] for s in summaries)
    n = w + d + l
    if n == 0:
        return {"games": 0}
    clamp = lambda s: min(max(s, 1e-6), 1 - 1e-6)  # noqa: E731
    elo = lambda s: round(-400 * math.log10(1 / clamp(s) - 1))  # noqa: E731
    p = clamp((w + d / 2) / n)
    sd = math.sqrt((w * (1 - p) ** 2 + d * (0.5 - p) ** 2 + l * p ** 2) / n / n)
    anomalies = {}
    for s in summaries:
        for a in s["anomalies"]:
            key = f"{a['engine']} {a['kind']}"
            anomalies[key] = anomalies.get(key, 0) + 1
    return {"games": n, "wins": w, "draws": d, "losses": l, "score": (w + d / 2) / n,
            "elo": elo(p), "elo95": [elo(p - 1.96 * sd), elo(p + 1.96 * sd)],
            "anomalies": anomalies}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--e1", required=True, type=Path)
    parser.add_argument("--e2", required=True)
    parser.add_argument("--o1", action="append", default=[])
    parser.add_argument("--o2", action="append", default=[])
    parser.add_argument("--name1", default="engine1")
    parser.add_argument("--name2", default="engine2")
    parser.add_argument("--openings", required=True, type=Path)
    parser.add_argument("--games", required=True, type=int)
    parser.add_argument("--tc", default="10+0.1")
    parser.add_argument("--nodes", type=int, help="also a fixed node count per move, both sides")
    parser.add_argument("--shards", type=int, default=os.cpu_count())
    parser.add_argument("--out", type=Path, default=ROOT / "build" / "match-shards")
    parser.add_argument("--match", type=Path, default=ROOT.parent / "shared/tools/match/match.mjs")
    shards.add_cluster_arguments(parser)
    args = parser.parse_args()

    lines = [x.strip() for x in args.openings.read_text().splitlines()
             if x.strip() and not x.startswith("#")]
    if not lines or args.games < 1:
        sys.exit("match-shards: no openings, or no games")
    pairs = (args.games + 1) // 2
    count = max(1, min(args.shards, pairs))
    options = ["--tc", args.tc, "--name1", args.name1, "--name2", args.name2]
    if args.nodes:
        options += ["--nodes", str(args.nodes)]
    for side, values in (("--o1", args.o1), ("--o2", args.o2)):
        for value in values:
            options += [side, value]

    from dask.distributed import as_completed

    client = shards.client_for(args)
    tool, engine1 = client.scatter([shards.packed(args.match.parent), shards.packed(args.e1)],
                                   broadcast=True)
    futures = {}
    for i in range(count):
        first, last = pairs * i // count, pairs * (i + 1) // count
        games = 2 * (last - first) - (1 if i == count - 1 and args.games % 2 else 0)
        block = [lines[k % len(lines)] for k in range(first, last)]
        futures[client.submit(play_shard, tool, engine1, args.e2, block, games, options,
                              key=f"shard-{i + 1}-of-{count}", retries=2)] = i + 1
    args.out.mkdir(parents=True, exist_ok=True)
    summaries, failed = [], 0
    for future in as_completed(futures):
        name = f"shard-{futures[future]}-of-{count}"
        try:
            summary, pgn, log = future.result()
        except Exception as error:  # the other shards go on
            print(f"{name} failed: {error}", file=sys.stderr, flush=True)
            failed += 1
            continue
        (args.out / f"{name}.json").write_text(json.dumps(summary))
        (args.out / f"{name}.pgn").write_text(pgn)
        (args.out / f"{name}.log").write_text(log)
        summaries.append(summary)
        print(f"{name}: +{summary['wins']} ={summary['draws']} -{summary['losses']}", flush=True)
    client.close()
    result = total(summaries)
    (args.out / "total.json").write_text(json.dumps(result, indent=1))
    if result["games"]:
        limit = args.tc + (f", {args.nodes} nodes" if args.nodes else "")
        print(f"{args.name1} vs {args.name2} at {limit}: +{result['wins']} ={result['draws']} "
              f"-{result['losses']} of {result['games']}, {100 * result['score']:.1f} %, Elo "
              f"{result['elo']} [{result['elo95'][0]}, {result['elo95'][1]}]; anomalies: "
              f"{', '.join(f'{k} {v}' for k, v in result['anomalies'].items()) or 'none'}")
    return 1 if failed or not result["games"] or result["anomalies"] else 0


if __name__ == "__main__":
    sys.exit(main())
