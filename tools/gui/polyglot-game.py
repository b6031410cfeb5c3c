#!/usr/bin/env python3
"""Plays one short game over the xboard protocol through PolyGlot, the UCI-to-xboard adapter
that xboard and most xboard GUIs use to run UCI engines.

This script is the GUI: it starts one PolyGlot per side, speaks xboard to both (xboard,
protover 2, new, level, time/otim, go, usermove), relays the moves and keeps the clocks. Then
it reads PolyGlot's logs of the UCI side and checks what the engine sent: only UCI replies,
one info line per completed depth with depths counting up from 1, nothing after bestmove
until the next command that asks for output, and every move accepted by PolyGlot's own
move checker (it refuses to relay an illegal move).

    tools/gui/polyglot-game.py                       # the engine against itself
    tools/gui/polyglot-game.py --black /usr/games/stockfish --plies 60
    tools/gui/polyglot-game.py --white "wine64 build-win/vantorel.exe"   # the Windows build

Needs Debian's polyglot (apt-get install polyglot). Exit status 0 when every check passed.
"""

import argparse
import os
import queue
import re
import shlex
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "lib"))
from uci_pipe import UciPipe  # noqa: E402

POLYGLOT = "/usr/games/polyglot"
# The engine command when none is given: build/vantorel of this repository.
ENGINE = shlex.quote(os.path.normpath(
    os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "vantorel")))
RESULT = re.compile(r"^(1-0|0-1|1/2-1/2) \{")
THINKING = re.compile(r"^(\d+) [+-]?\d+ \d+ \d+( |$)")
UCI_REPLY = re.compile(
    r"^(id (name|author) .+|option name .+|uciok|readyok"
    r"|info depth \d+ seldepth \d+ score (cp|mate) -?\d+ nodes \d+ nps \d+ time \d+ pv( \S+)*"
    r"|info hashfull \d+|info depth \d+ currmove \S+ currmovenumber \d+"
    r"|bestmove \S+)$"
)


class Adapter(UciPipe):
    """One PolyGlot process, seen from the GUI side."""

    def __init__(self, name, engine, hash_mb, work_dir):
        words = shlex.split(engine)
        words[0] = os.path.abspath(words[0]) if os.path.exists(words[0]) else words[0]
        self.log_path = os.path.join(work_dir, name + ".log")
        ini_path = os.path.join(work_dir, name + ".ini")
        with open(ini_path, "w") as ini:
            ini.write(
                "[PolyGlot]\n"
                f"EngineDir = {os.getcwd()}\n"
                f"EngineCommand = {shlex.join(words)}\n"
                "Log = true\n"
                f"LogFile = {self.log_path}\n"
                "Book = false\n"
                "Resign = false\n"
                "[Engine]\n"
                f"Hash = {hash_mb}\n"
            )
        super().__init__([POLYGLOT, ini_path], name=name, stderr=subprocess.STDOUT, cwd=work_dir)
        self.usermove = False

    def expect(self, accept, timeout):
        """Lines up to the first one that `accept` takes; raises on a timeout, end of output or
        an error PolyGlot reports."""
        def take(line):
            if line.startswith(("Illegal move", "Error", "tellusererror")):
                raise RuntimeError(f"{self.name}: {line}")
            return accept(line)
        return self.read_until(take, timeout)

    def handshake(self):
        self.send("xboard")
        self.send("protover 2")
        features = self.expect(lambda l: "feature done=1" in l, 30)
        self.usermove = any("usermove=1" in l for l in features)

    def move_text(self, move):
        return f"usermove {move}" if self.usermove else move


def check_log(path, name):
    """What the engine sent, judged from PolyGlot's log of the UCI side."""
    problems = []
    searches = 0
    info_lines = 0
    depths = []
    awaiting_go = True  # after bestmove: only readyok may come until the next go
    with open(path, errors="replace") as log:
        for raw in log:
            parts = raw.rstrip("\n").split(" ", 2)
            if len(parts) < 3:
                continue
            if parts[1] == "Adapter->Engine:":
                if parts[2].startswith("go"):
                    awaiting_go = False
                    depths = []
                continue
            if parts[1] != "Engine->Adapter:":
                continue
            line = parts[2].rstrip("\r")
            if line == "EOF":
                continue
            if not UCI_REPLY.match(line):
                problems.append(f"not a UCI reply: {line!r}")
            elif line.startswith("info") and " pv " in line:
                info_lines += 1
                depth = int(line.split()[2])
                if awaiting_go:
                    problems.append(f"info outside a search: {line!r}")
                if depth != len(depths) + 1:
                    problems.append(f"depth {depth} after depths {depths}")
                depths.append(depth)
            elif line.startswith("bestmove"):
                if awaiting_go:
                    problems.append(f"bestmove outside a search: {line!r}")
                searches += 1
                awaiting_go = True
    print(f"{name}: {searches} searches, {info_lines} info lines, {len(problems)} problems")
    for problem in problems[:10]:
        print(f"  {problem}")
    return not problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--white", default=ENGINE, help="engine command for White")
    parser.add_argument("--black", default=ENGINE, help="engine command for Black")
    parser.add_argument("--plies", type=int, default=40, help="stop after this many half-moves")
    parser.add_argument("--level", default="0 0:15 0.1", help="xboard level: moves base inc")
    parser.add_argument("--hash", type=int, default=16, help="Hash in MB for both engines")
    parser.add_argument("--keep", metavar="DIR", help="keep the ini and log files in DIR")
    args = parser.parse_args()

    if not os.path.exists(POLYGLOT):
        sys.exit(f"{POLYGLOT} is missing: apt-get install polyglot")
    work_dir = args.keep or tempfile.mkdtemp(prefix="vantorel-polyglot-")
    os.makedirs(work_dir, exist_ok=True)

    # Clocks in centiseconds, as xboard keeps them.
    _, base, inc = args.level.split()
    minutes, _, seconds = base.partition(":")
    clock = [int(minutes) * 6000 + int(seconds or 0) * 100] * 2
    inc_cs = int(float(inc) * 100)

    sides = [Adapter("white", args.white, args.hash, work_dir),
             Adapter("black", args.black, args.hash, work_dir)]
    moves, result, ok = [], "*", True
    try:
        for side in sides:
            side.handshake()
            for command in ("new", "random", "easy", "post", f"level {args.level}"):
                side.send(command)
            side.send("ping 1")
            side.expect(lambda l: l == "pong 1", 10)

        print(f"{args.white} (White) - {args.black} (Black), level {args.level}")
        while len(moves) < args.plies:
            turn = len(moves) % 2
            mover = sides[turn]
            mover.send(f"time {clock[turn]}")
            mover.send(f"otim {clock[1 - turn]}")
            mover.send(mover.move_text(moves[-1]) if moves else "go")
            start = time.monotonic()
            lines = mover.expect(lambda l: l.startswith("move ") or RESULT.match(l) is not None,
                                 clock[turn] / 100 + 10)
            spent = time.monotonic() - start
            clock[turn] += inc_cs - int(spent * 100)
            thinking = [l for l in lines if THINKING.match(l)]
            if RESULT.match(lines[-1]):
                result = lines[-1]
                break
            move = lines[-1].split()[1]
            moves.append(move)
            last = thinking[-1] if thinking else "(no thinking output)"
            print(f"{len(moves):3d}. {move:6s} {spent:5.2f} s  {last}")
            if clock[turn] < 0:
                print(f"{mover.name} lost on time")
                ok = False
                break
            # The adapter announces a finished game itself (mate, stalemate, draw rules).
            try:
                line = mover.next_line(0.2)
                if line and RESULT.match(line):
                    result = line
                    break
                mover.unread.append(line)
            except queue.Empty:
                pass
    except RuntimeError as error:
        print(f"FAIL: {error}")
        ok = False

    print(f"moves: {' '.join(moves)}")
    print(f"result: {result}")
    for side in sides:
        start = time.monotonic()
        try:
            side.quit(timeout=10)
            print(f"{side.name}: PolyGlot and engine exited {time.monotonic() - start:.2f} s after quit")
        except (subprocess.TimeoutExpired, BrokenPipeError):
            print(f"FAIL: {side.name} did not exit within 10 s of quit")
            side.proc.kill()
            ok = False
    for side, engine in zip(sides, (args.white, args.black)):
        if "vantorel" in engine.lower():
            ok = check_log(side.log_path, side.name) and ok
    print(f"logs in {work_dir}" if args.keep else "")
    print("PASS" if ok else "FAIL")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
