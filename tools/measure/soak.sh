#!/usr/bin/env bash
# Soak test (on demand, not in CI): many fast games against itself and against Debian's
# stockfish at a weak level, through the match harness, which checks every bestmove and every
# PV move with an independent rules implementation, and the clocks.
#
#   tools/measure/soak.sh [GAMES] [TC]        defaults: 1000 games (half self-play, half against
#                                     stockfish), time control 1+0.01 (seconds + increment)
#   env: ENGINE (default build/vantorel), SKILL (stockfish Skill Level, default 1),
#        MATCH (the path of the match.mjs driver, required), OUT (default build/soak), SEED
#        (default 1), STOCKFISH (default: stockfish on the PATH or /usr/games/stockfish);
#        relative paths are taken from the current directory, the defaults
#        from the repository root
#
# Passes when there are no crashes, hangs, illegal moves, illegal PV moves or losses on time,
# and when the engine's memory does not grow from game to game: the resident set of every
# engine process is sampled while the games run, and the peak over the first and over the
# last 100 games of each match is reported (they may differ by at most 4 MB).
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../lib/lib.sh"
games=${1:-1000}
tc=${2:-1+0.01}
engine=$(realpath "${ENGINE:-$ROOT/build/vantorel}")
match=$(realpath "${MATCH:?set MATCH to the path of the match.mjs driver}")
skill=${SKILL:-1}
out=$(realpath -m "${OUT:-$ROOT/build/soak}")
mkdir -p "$out"
stockfish=${STOCKFISH:-$(command -v stockfish || echo /usr/games/stockfish)}
[ -x "$stockfish" ] || { echo "stockfish is missing: apt-get install -y stockfish" >&2; exit 2; }
[ -x "$engine" ] || { echo "no engine at $engine (build it first)" >&2; exit 2; }

# Each engine process records its pid, so that its memory can be sampled.
wrapper=$out/engine.sh
cat >"$wrapper" <<EOF
#!/bin/sh
echo \$\$ >>"$out/pids.\$SOAK_MATCH"
exec "$engine" "\$@"
EOF
chmod +x "$wrapper"

self_games=$((games / 2))
sf_games=$((games - self_games))
status=0
run_match() { # name games engine2 [options for engine 2...]
    local name=$1 n=$2 e2=$3
    shift 3
    rm -f "$out/pids.$name"
    SOAK_MATCH=$name python3 - "$name" "$n" "$out" node "$match" --e1 "$wrapper" --e2 "$e2" \
        --games "$n" --tc "$tc" --max-plies 300 --seed "${SEED:-1}" --pgn "$out/$name.pgn" \
        --json "$out/$name.json" "$@" <<'PY' 
import json, os, re, subprocess, sys, threading, time

name, games, out, cmd = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4:]
pidfile = os.path.join(out, "pids." + name)
peaks = {}  # game number -> peak resident set (kB) of any engine process during that game
current = [1]
done = threading.Event()

def rss_kb(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0

def sample():
    while not done.is_set():
        try:
            pids = open(pidfile).read().split()
        except OSError:
            pids = []
        rss = max([rss_kb(p) for p in pids] + [0])
        g = current[0]
        peaks[g] = max(peaks.get(g, 0), rss)
        time.sleep(0.05)

threading.Thread(target=sample, daemon=True).start()
started = time.time()
proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, text=True)
# One line per finished game, written as it happens, so that an interrupted soak keeps its data.
games_csv = open(os.path.join(out, name + ".games.csv"), "w")
games_csv.write("game,seconds,peak_rss_kb,line\n")
for line in proc.stdout:
    sys.stdout.write(line)
    sys.stdout.flush()
    m = re.match(r"game (\d+)/", line)
    if m:
        g = int(m.group(1))
        current[0] = g + 1
        games_csv.write(f"{g},{round(time.time() - started)},{peaks.get(g, 0)},\"{line.strip()}\"\n")
        games_csv.flush()
proc.wait()
done.set()
time.sleep(0.1)

summary = json.load(open(os.path.join(out, name + ".json")))
kinds = {}
for a in summary["anomalies"]:
    kinds[a["kind"]] = kinds.get(a["kind"], 0) + 1
played = summary["games"]
first = max(peaks.get(g, 0) for g in range(1, min(100, played) + 1))
last = max(peaks.get(g, 0) for g in range(max(1, played - 99), played + 1))
report = {"match": name, "games": played, "seconds": round(time.time() - started),
          "crashes": kinds.get("crash", 0), "hangs": kinds.get("hang", 0),
          "illegal_moves": kinds.get("illegal-move", 0), "illegal_pv": kinds.get("illegal-pv", 0),
          "time_losses": kinds.get("time-loss", 0), "other_anomalies": sum(kinds.values())
          - sum(kinds.get(k, 0) for k in ("crash", "hang", "illegal-move", "illegal-pv", "time-loss")),
          "engine_processes": len(open(pidfile).read().split()),
          "peak_rss_first_100_games_kb": first, "peak_rss_last_100_games_kb": last,
          "score": f"+{summary['wins']} ={summary['draws']} -{summary['losses']}",
          "terminations": summary["terminations"]}
json.dump(report, open(os.path.join(out, name + ".memory.json"), "w"), indent=2)
print(json.dumps(report, indent=2))
ok = played == games and sum(kinds.values()) == 0 and last - first <= 4096
print(f"soak {name}: {'PASS' if ok else 'FAIL'} ({played} games)")
sys.exit(0 if ok else 1)
PY
}

# The two matches run side by side (each keeps one core busy); their logs go to $out.
run_match self "$self_games" "$wrapper" >"$out/self.log" 2>&1 &
self_pid=$!
run_match stockfish "$sf_games" "$stockfish" --o2 "Skill Level=$skill" --o2 "Threads=1" \
    --o2 "Hash=16" >"$out/stockfish.log" 2>&1 &
sf_pid=$!
wait $self_pid || status=1
wait $sf_pid || status=1
for name in self stockfish; do
    grep -A3 '^anomalies:' "$out/$name.log" || true
    { cat "$out/$name.memory.json" && echo; } 2>/dev/null || echo "$name: no report"
    grep '^soak ' "$out/$name.log" || echo "soak $name: FAIL (no summary)"
done
exit $status
