"""A UCI engine (or perft oracle) on a pipe, for the data-generating scripts in tools/."""
import subprocess


class UciPipe:
    def __init__(self, path):
        self.proc = subprocess.Popen([path], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     text=True, bufsize=1)

    def send(self, line):
        self.proc.stdin.write(line + "\n")

    def read_until(self, prefix):
        """The lines up to and including the first that starts with `prefix`."""
        lines = []
        while True:
            line = self.proc.stdout.readline()
            if not line:
                raise RuntimeError("engine exited")
            lines.append(line.rstrip("\n"))
            if line.startswith(prefix):
                return lines

    def quit(self):
        self.send("quit")
        self.proc.wait()
