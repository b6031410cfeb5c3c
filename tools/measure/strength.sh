#!/usr/bin/env bash
# Strength of the Neural evaluation style, measured in games through the match driver (every
# move and PV validated), and its speed:
#
#   tools/measure/strength.sh selfcheck ENGINE OPENINGS GAMES [OUT-DIR]   Style Neural against PeSTO, 5+0.05
#   tools/measure/strength.sh ethereal ENGINE OPENINGS GAMES [OUT-DIR]    against ethereal-chess, 10+0.1
#   tools/measure/strength.sh toga ENGINE OPENINGS GAMES [OUT-DIR]        against toga2 (no book), 10+0.1
#   tools/measure/strength.sh network ENGINE OPENINGS GAMES [OUT-DIR]     EVALFILE against the built-in network, 10+0.1
#   tools/measure/strength.sh nps ENGINE [DEPTH]                          bench speed of Neural and PeSTO
#
# OPENINGS is a file of one FEN per line (tools/data/balanced-openings.py writes one); every
# opening is played twice, colours swapped, so GAMES uses the first GAMES/2 of them (the file
# is read again from the top when it is shorter). Both sides play with Hash 64 on one thread.
# Environment: TC (the clock, B+I seconds), PARALLEL (default 1: shards of consecutive
# openings, played at once by as many local Dask workers, or by the workers of SCHEDULER, a
# Dask scheduler's address; tools/measure/match-shards.py), STYLE (the style under test, default
# Neural), EVALFILE (its network file, default the built-in one), MATCH (the path of
# match.mjs, default ../shared/tools/match/match.mjs from the repository root), ETHEREAL,
# TOGA (the opponents' paths), RUNS (bench runs per style for nps, default 5), NODES (a fixed
# node count per move for both sides, on top of the clock: a quick screen of two networks, which
# leaves out what their speeds differ by).
# Writes each run's PGN, JSON summary and log into OUT-DIR (default build/strength/MODE under
# the repository root) and prints one line per run and one for the total. Exit status 1 when
# any anomaly was seen. Relative paths are taken from the current directory.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/../lib/lib.sh"

usage() {
    echo "usage: tools/measure/strength.sh selfcheck|ethereal|toga|network ENGINE OPENINGS GAMES [OUT-DIR]" >&2
    echo "       tools/measure/strength.sh nps ENGINE [DEPTH]" >&2
    exit 2
}

mode=${1:-}
[ $# -ge 2 ] || usage
engine=$(realpath "$2")
[ -x "$engine" ] || { echo "strength.sh: not an executable: $engine" >&2; exit 2; }
style=${STYLE:-Neural}
side_options=(--o1 "Style=$style")
[ -z "${EVALFILE:-}" ] || side_options+=(--o1 "EvalFile=$(realpath "$EVALFILE")")

# The style must be one of the engine's own, or every game would quietly use the default.
printf 'uci\nquit\n' | "$engine" 2>/dev/null | grep -q "^option name Style type combo.* var $style\( \|$\)" \
    || { echo "strength.sh: $engine has no Style $style" >&2; exit 2; }

# bench_run STYLE DEPTH: the "Nodes" and "NPS" of the engine's bench with that style. The
# input stays open until the result is out, so that nothing reads the end of the input as a
# request to stop.
bench_run() {
    local out
    out=$(mktemp)
    {
        printf 'setoption name Style value %s\n' "$1"
        [ -z "${EVALFILE:-}" ] || printf 'setoption name EvalFile value %s\n' "$(realpath "$EVALFILE")"
        printf 'bench %s\n' "$2"
        local i
        for ((i = 0; i < 6000; ++i)); do
            grep -q '^NPS' "$out" && break
            sleep 0.1
        done
        echo quit
    } | "$engine" >"$out" 2>/dev/null
    awk '/^Nodes/ { n = $3 } /^NPS/ { s = $3 } END { if (n == "" || s == "") exit 1; print n, s }' "$out"
    local status=$?
    rm -f "$out"
    return $status
}

if [ "$mode" = nps ]; then
    depth=${3:-0} # 0: the engine's bench depth
    runs=${RUNS:-5}
    declare -A rates nodes
    # Alternating, so that a change in the machine's load falls on both styles alike.
    for ((r = 0; r < runs; ++r)); do
        for s in "$style" PeSTO; do
            read -r n rate < <(bench_run "$s" "$depth") || { echo "strength.sh: bench failed" >&2; exit 1; }
            nodes[$s]=$n
            rates[$s]+="$rate "
        done
    done
    a=$(median <<<"${rates[$style]}")
    b=$(median <<<"${rates[PeSTO]}")
    echo "bench${3:+ $3}, $runs runs each (nodes per wall second as bench prints them)"
    echo "$style: median $a nps, ${nodes[$style]} nodes   (${rates[$style]% })"
    echo "PeSTO: median $b nps, ${nodes[PeSTO]} nodes   (${rates[PeSTO]% })"
    echo "ratio $style/PeSTO: $(ratio "$a" "$b")"
    exit 0
fi

[ $# -ge 4 ] || usage
openings=$(realpath "$3")
games=$4
out=${5:-$ROOT/build/strength/$mode}
parallel=${PARALLEL:-1}
match=${MATCH:-$ROOT/../shared/tools/match/match.mjs}
[ -f "$match" ] || { echo "strength.sh: driver $match not found (set MATCH)" >&2; exit 2; }
[ -f "$openings" ] || { echo "strength.sh: no openings file $openings" >&2; exit 2; }
[[ $games =~ ^[1-9][0-9]*$ && $parallel =~ ^[1-9][0-9]*$ ]] \
    || { echo "strength.sh: GAMES and PARALLEL must be positive whole numbers" >&2; exit 2; }

engine_options=(--o1 "Hash=64" --o1 "Threads=1")
case $mode in
selfcheck)
    tc=${TC:-5+0.05}
    opponent=(--e2 "$engine" --name2 "vantorel-pesto" --o2 "Style=PeSTO" --o2 "Hash=64"
        --o2 "Threads=1")
    ;;
ethereal)
    tc=${TC:-10+0.1}
    ethereal=${ETHEREAL:-$(command -v ethereal-chess || echo /usr/games/ethereal-chess)}
    opponent=(--e2 "$ethereal" --name2 ethereal --o2 "Hash=64" --o2 "Threads=1")
    ;;
toga)
    tc=${TC:-10+0.1}
    toga=${TOGA:-$(command -v toga2 || echo /usr/games/toga2)}
    # Toga's own book would choose its moves in the openings it knows.
    opponent=(--e2 "$toga" --name2 toga2 --o2 "Hash=64" --o2 "Number of Threads=1"
        --o2 "OwnBook=false")
    ;;
network)
    tc=${TC:-10+0.1}
    [ -n "${EVALFILE:-}" ] || { echo "strength.sh: network needs EVALFILE" >&2; exit 2; }
    opponent=(--e2 "$engine" --name2 "vantorel-builtin" --o2 "Style=$style" --o2 "Hash=64"
        --o2 "Threads=1")
    ;;
*) usage ;;
esac
[ -z "${NODES:-}" ] || engine_options+=(--nodes "$NODES")
for tool in node "${opponent[1]}"; do
    command -v "$tool" >/dev/null || { echo "strength.sh: $tool not found" >&2; exit 2; }
done
mkdir -p "$out"

# The match in PARALLEL shards of consecutive openings on a Dask cluster (a local one by
# default; SCHEDULER=ADDRESS spreads it over that scheduler's workers), gathered in OUT-DIR.
cluster=(--workers "$parallel")
[ -z "${SCHEDULER:-}" ] || cluster=(--scheduler "$SCHEDULER")
/usr/bin/python3 "$ROOT/tools/measure/match-shards.py" --e1 "$engine" --name1 "vantorel-${style,,}" \
    "${side_options[@]}" "${engine_options[@]}" "${opponent[@]}" --games "$games" --tc "$tc" \
    --openings "$openings" --shards "$parallel" --match "$match" --out "$out" "${cluster[@]}"
