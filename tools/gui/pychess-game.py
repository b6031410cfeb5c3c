#!/usr/bin/python3
"""Plays one engine-against-engine game in PyChess, headless: PyChess's own UCI player,
game model and clock, without its window (apt-get install pychess).

PyChess starts each engine, sends its options and "ucinewgame", "position ... moves ...",
"go wtime ... btime ..." for every move, flags a side whose clock runs out, refuses illegal
moves and ends the game by the rules (mate, stalemate, repetition, 50 moves, material).

    tools/gui/pychess-game.py                             # the engine against itself, 20 s each
    tools/gui/pychess-game.py --black /usr/games/stockfish --seconds 60 --increment 1

Exit status 0 when the game ended by the rules of chess (not by an engine dying or losing
on time).
"""

import argparse
import asyncio
import os
import sys
import tempfile
import time
import warnings

warnings.filterwarnings("ignore")
# PyChess keeps its configuration under $HOME; use a scratch one.
os.environ["HOME"] = tempfile.mkdtemp(prefix="vantorel-pychess-")
os.environ.setdefault("GDK_BACKEND", "x11")

from pychess.Players.engineNest import discoverer, md5_sum  # noqa: E402
from pychess.Utils import const  # noqa: E402
from pychess.Utils.GameModel import GameModel  # noqa: E402
from pychess.Utils.TimeModel import TimeModel  # noqa: E402
from pychess.Variants.normal import NormalBoard  # noqa: E402

REASONS = {
    getattr(const, name): name
    for name in dir(const)
    if name.startswith(("DRAW_", "WON_", "ABORTED_", "ADJOURNED_"))
    or name in ("WHITE_ENGINE_DIED", "BLACK_ENGINE_DIED", "DISCONNECTED", "UNKNOWN_REASON")
}
RULE_ENDINGS = {"WON_MATE", "DRAW_STALEMATE", "DRAW_REPETITION", "DRAW_50MOVES",
                "DRAW_INSUFFICIENT", "DRAW_LENGTH"}


def engine_record(command, name):
    path = os.path.abspath(command)
    return {"name": name, "protocol": "uci", "command": path, "md5": md5_sum(path),
            "recheck": False, "workingDirectory": os.path.dirname(path)}


async def play(args):
    secs, inc = args.seconds, args.increment
    white = await discoverer.initPlayerEngine(
        engine_record(args.white, "White"), const.WHITE, 20, NormalBoard, secs, inc)
    black = await discoverer.initPlayerEngine(
        engine_record(args.black, "Black"), const.BLACK, 20, NormalBoard, secs, inc)
    game = GameModel(TimeModel(secs, inc))
    game.setPlayers([white, black])
    ended = asyncio.get_running_loop().create_future()
    game.connect("game_ended", lambda model, reason: ended.done() or ended.set_result(reason))
    start = time.monotonic()
    game.start()
    reason = await asyncio.wait_for(ended, timeout=2 * secs + 5 * inc * 300 + 60)
    await asyncio.sleep(1)  # let PyChess send "quit" to both engines
    return game, reason, time.monotonic() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    engine = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                           "..", "..", "build", "vantorel"))
    parser.add_argument("--white", default=engine)
    parser.add_argument("--black", default=engine)
    parser.add_argument("--seconds", type=int, default=20, help="base time per side")
    parser.add_argument("--increment", type=int, default=0, help="seconds added per move")
    args = parser.parse_args()

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    game, reason, elapsed = loop.run_until_complete(play(args))
    moves = [str(move) for move in game.moves]
    reason_name = REASONS.get(reason, str(reason))
    print(f"{args.white} (White) - {args.black} (Black), {args.seconds} s + {args.increment} s")
    print(f"moves: {' '.join(moves)}")
    print(f"result: {const.reprResult[game.status]} by {reason_name} after {len(moves)} plies,"
          f" {elapsed:.1f} s")
    clocks = [game.timemodel.getPlayerTime(color) for color in (const.WHITE, const.BLACK)]
    print(f"clocks left: White {clocks[0]:.1f} s, Black {clocks[1]:.1f} s")
    ok = reason_name in RULE_ENDINGS
    print("PASS" if ok else "FAIL")
    sys.stdout.flush()
    os._exit(0 if ok else 1)  # PyChess leaves GLib sources behind; do not wait for them


if __name__ == "__main__":
    main()
