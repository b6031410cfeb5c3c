"""A UCI engine (or perft oracle, or any program that answers in lines) on a pipe, for the
Python tools. A thread reads its output, so that a read can have a deadline: a hung engine
is reported, not waited on for ever."""
import queue
import subprocess
import threading
import time


class EngineError(RuntimeError):
    """The program ended, or did not answer in time."""


class UciPipe:
    def __init__(self, command, name=None, stderr=None, cwd=None):
        """command: a path, or a list of arguments (e.g. with `nice` in front)."""
        args = [command] if isinstance(command, str) else list(command)
        self.name = name or args[0]
        self.proc = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=stderr, cwd=cwd, text=True, bufsize=1)
        self.lines = queue.Queue()
        self.unread = []  # lines given back, read again first
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            self.lines.put(line.rstrip("\r\n"))
        self.lines.put(None)  # the program has ended

    def send(self, line):
        try:
            self.proc.stdin.write(line + "\n")
            self.proc.stdin.flush()
        except BrokenPipeError:
            try:
                self.proc.stdin.close()  # or its unwritable buffer is flushed again at exit
            except BrokenPipeError:
                pass
            raise EngineError(f"{self.name}: exited (code {self._exit_code()})") from None

    def next_line(self, timeout=None):
        """The next line, None once the program has ended; queue.Empty after `timeout` s."""
        if self.unread:
            return self.unread.pop()
        return self.lines.get(timeout=None if timeout is None else max(0.0, timeout))

    def read_until(self, match, timeout=None):
        """The lines up to and including the first that starts with `match` (or for which
        `match(line)` is true), within `timeout` seconds in all (None: no limit)."""
        accept = match if callable(match) else lambda line: line.startswith(match)
        deadline = None if timeout is None else time.monotonic() + timeout
        lines = []
        while True:
            try:
                line = self.next_line(None if deadline is None else deadline - time.monotonic())
            except queue.Empty:
                raise EngineError(f"{self.name}: no answer within {timeout} s; "
                                  f"last lines {lines[-3:]}") from None
            if line is None:
                self.unread.append(None)  # and every later read fails alike
                raise EngineError(f"{self.name}: exited (code {self._exit_code()}); "
                                  f"last lines {lines[-3:]}")
            lines.append(line)
            if accept(line):
                return lines

    def _exit_code(self):
        try:
            return self.proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            return None

    def uci(self, timeout=None):
        """The handshake; returns the engine's lines up to "uciok"."""
        self.send("uci")
        return self.read_until("uciok", timeout)

    def setoption(self, name, value):
        self.send(f"setoption name {name} value {value}")

    def sync(self, timeout=None):
        """isready; returns the lines before "readyok", the answers to what was sent before."""
        self.send("isready")
        return self.read_until(lambda line: line.strip() == "readyok", timeout)[:-1]

    def quit(self, timeout=None):
        """Sends quit and waits for the exit (subprocess.TimeoutExpired after `timeout` s)."""
        try:
            self.send("quit")
        except (EngineError, ValueError):
            pass  # already gone (ValueError: its input was closed then)
        return self.proc.wait(timeout)
