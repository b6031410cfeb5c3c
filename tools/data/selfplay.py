#!/usr/bin/python3
"""Self-play training data in chunks, sharded over a Dask cluster.

    tools/data/selfplay.py --out DIR --seeds 3001-3200 [--games 2000] [--nodes 5000]
        [--engine build/vantorel] [--style Neural] [--evalfile NET] [--syzygy PATHS]
        [--scheduler ADDRESS | --workers N]

Each seed is one chunk: `vantorel datagen` playing GAMES games from that seed, written to
DIR/chunk-SEED.bin once complete, so a chunk is either whole or absent and the same command
run again (after a session, a crash or a lost machine) plays only the chunks still missing.
The chunk's settings go to DIR/manifest.tsv, so anyone can regenerate it bit for bit.

Without --scheduler a local cluster of one worker per core runs the chunks; with it, the
chunks are spread over the workers of that Dask scheduler (`dask-scheduler` on one machine,
`dask-worker ADDRESS --nthreads 1` on each of the others). The engine and the network file
are sent to the workers; the Syzygy tables must be at the same path on each. A worker lost
mid-chunk has its chunk run again elsewhere; the records come back to this process, so every
chunk lands in DIR whichever machine played it.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "lib"))
import shards  # noqa: E402

RECORD_BYTES = 32


def parse_seeds(text):
    first, _, last = text.partition("-")
    return range(int(first), int(last or first) + 1)


def play_chunk(engine, net, seed, settings):
    """Runs one chunk on a worker; returns its records and the engine's last progress line."""
    words = ["games", str(settings["games"]), "nodes", str(settings["nodes"]), "seed", str(seed),
             "style", settings["style"]]
    if net:
        words += ["evalfile", shards.unpacked(net)]
    if settings["syzygy"]:
        words += ["syzygy", settings["syzygy"]]
    with tempfile.TemporaryDirectory() as scratch:
        out = Path(scratch) / "chunk.bin"
        run = subprocess.run([shards.unpacked(engine), "datagen", str(out)] + words,
                             capture_output=True, text=True, preexec_fn=shards.nice(settings["nice"]))
        if run.returncode != 0:
            raise RuntimeError(f"seed {seed}: datagen exit {run.returncode}: {run.stderr[-500:]}")
        data = out.read_bytes()
    if not data or len(data) % RECORD_BYTES:
        raise RuntimeError(f"seed {seed}: {len(data)} bytes is not a whole number of records")
    progress = [line for line in run.stderr.splitlines() if line.startswith("games ")]
    return data, progress[-1] if progress else ""


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out", required=True, type=Path)
    parser.add_argument("--seeds", required=True, type=parse_seeds, help="FIRST-LAST")
    parser.add_argument("--games", type=int, default=2000)
    parser.add_argument("--nodes", type=int, default=5000)
    parser.add_argument("--engine", type=Path,
                        default=Path(__file__).resolve().parents[2] / "build" / "vantorel")
    parser.add_argument("--style", default="Neural")
    parser.add_argument("--evalfile", type=Path, help="default: the engine's own network")
    parser.add_argument("--syzygy", default="", help="tables' folders on every worker")
    parser.add_argument("--nice", type=int, default=19)
    shards.add_cluster_arguments(parser)
    args = parser.parse_args()

    from dask.distributed import as_completed

    args.out.mkdir(parents=True, exist_ok=True)
    todo = [seed for seed in args.seeds if not (args.out / f"chunk-{seed}.bin").exists()]
    print(f"{len(args.seeds) - len(todo)} chunks already in {args.out}, {len(todo)} to play",
          flush=True)
    if not todo:
        return 0
    engine = shards.packed(args.engine)
    net = shards.packed(args.evalfile) if args.evalfile else None
    settings = {"games": args.games, "nodes": args.nodes, "style": args.style,
                "syzygy": args.syzygy, "nice": args.nice}

    client = shards.client_for(args)
    engine_future, net_future = client.scatter([engine, net], broadcast=True)
    futures = {client.submit(play_chunk, engine_future, net_future, seed, settings,
                             key=f"chunk-{seed}", retries=2): seed for seed in todo}
    manifest = args.out / "manifest.tsv"
    if not manifest.exists():
        manifest.write_text("seed\tgames\tnodes\tstyle\tengine\tnet\tsyzygy\trecords\tfinished\n")
    failed = 0
    for future in as_completed(futures):
        seed = futures[future]
        try:
            data, progress = future.result()
        except Exception as error:  # a chunk that failed on every try; the others go on
            print(f"chunk {seed} failed: {error}", file=sys.stderr, flush=True)
            failed += 1
            continue
        partial = args.out / f"chunk-{seed}.part"
        partial.write_bytes(data)
        os.replace(partial, args.out / f"chunk-{seed}.bin")
        with manifest.open("a") as log:
            log.write(f"{seed}\t{args.games}\t{args.nodes}\t{args.style}\t{engine[1]}\t"
                      f"{net[1] if net else '-'}\t{args.syzygy or '-'}\t"
                      f"{len(data) // RECORD_BYTES}\t{time.strftime('%Y-%m-%d %H:%M')}\n")
        print(f"chunk {seed}: {progress}", flush=True)
    client.close()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
