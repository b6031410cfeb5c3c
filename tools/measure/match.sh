#!/usr/bin/env bash
# Plays fast games on demand (not part of CI) and reports anomalies: crashes, hangs, illegal
# moves, illegal PVs and losses on time, checked move by move by the match driver.
#
#   tools/measure/match.sh [build/vantorel] [games] [out-dir]
#
# Runs two matches of `games` games each (default 100) at 2+0.02: against Stockfish at a
# weak Skill Level, and against itself. Environment: SKILL (default 3), TC (default
# 2+0.02), STOCKFISH (default /usr/games/stockfish), MATCH (the path of the match.mjs driver,
# required), SEED.
# Writes PGN and JSON summaries into out-dir (default build/match-results under the
# repository root) and prints one summary line per match. Exit status 1 when any anomaly was
# seen. Relative paths are taken from the current directory.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/../lib/lib.sh"

engine=$(realpath "${1:-$ROOT/build/vantorel}")
games=${2:-100}
out=${3:-$ROOT/build/match-results}
skill=${SKILL:-3}
tc=${TC:-2+0.02}
seed=${SEED:-1}
stockfish=${STOCKFISH:-/usr/games/stockfish}
match=${MATCH:-}
[ -n "$match" ] || { echo "match.sh: set MATCH to the path of the match.mjs driver" >&2; exit 2; }

for tool in node "$stockfish" "$engine"; do
    command -v "$tool" > /dev/null || { echo "match.sh: $tool not found" >&2; exit 2; }
done
[ -f "$match" ] || { echo "match.sh: driver $match not found (set MATCH)" >&2; exit 2; }
mkdir -p "$out"

status=0
run_match() { # name, then the driver's engine-2 arguments
    local name=$1
    shift
    node "$match" --e1 "$engine" --name1 vantorel "$@" --games "$games" --tc "$tc" \
        --seed "$seed" --quiet --pgn "$out/$name.pgn" --json "$out/$name.json" \
        > "$out/$name.log" 2>&1 || status=1
    node -e '
        const s = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"));
        const kinds = {};
        for (const a of s.anomalies) kinds[`${a.engine} ${a.kind}`] = (kinds[`${a.engine} ${a.kind}`] || 0) + 1;
        const list = Object.entries(kinds).map(([k, n]) => `${k} ${n}`).join(", ") || "none";
        console.log(`${process.argv[2]}: +${s.wins} =${s.draws} -${s.losses} of ${s.games}, ` +
            `Elo ${s.elo} [${s.elo95.join(", ")}]; anomalies: ${list}`);
        console.log(`  endings: ${JSON.stringify(s.terminations)}`);
    ' "$out/$name.json" "$name" || { echo "$name: no summary, see $out/$name.log"; status=1; }
}

run_match "stockfish-skill$skill" --e2 "$stockfish" --name2 stockfish --o2 "Skill Level=$skill" \
    --o2 "Threads=1" --o2 "Hash=16"
run_match self --e2 "$engine" --name2 vantorel-2
exit $status
