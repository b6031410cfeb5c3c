#!/usr/bin/env bash
# The engine's speed against reference engines, in one run:
#   bench  - nodes per second of `vantorel bench` against `ethereal-chess bench`, runs
#            alternating between the engines: each one's printed (wall-clock) figure, and nodes
#            over CPU time, steadier on a busy machine. The CPU figure runs `bench DEPTH`
#            (default 16: depth 10 takes too little time to measure) and takes Vantorel's CPU
#            time less its start-up (a run that only quits: the attack tables are built then);
#            like Ethereal's whole run, it includes clearing the tables and faulting them in.
#   perft  - CPU time of `perft` against stockfish's `go perft` (start position depth 6,
#            kiwipete depth 5), runs alternating, each engine's start-up time subtracted.
#   launch - wall time from launch to `uciok`.
#   memory - peak resident memory of `go depth 12` from the start position at the default Hash,
#            and of `perfttest`.
# Prints the medians and the ratios (above 1: vantorel is faster).
#
#   tools/measure/speed.sh [path/to/vantorel] [RUNS] [DEPTH]     defaults: build/vantorel, 6, 16
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../lib/lib.sh"
engine=$(realpath "${1:-$ROOT/build/vantorel}")
runs=${2:-6}
depth=${3:-16}
ethereal=${ETHEREAL:-/usr/games/ethereal-chess}
stockfish=${STOCKFISH:-/usr/games/stockfish}
for exe in "$engine" "$ethereal" "$stockfish"; do
    [ -x "$exe" ] || { echo "not found: $exe (apt-get install ethereal-chess stockfish)"; exit 1; }
done
[ -x /usr/bin/time ] || { echo "not found: /usr/bin/time (apt-get install time)"; exit 1; }

# CPU seconds of a command fed the given text (printf %b); its output goes to $out.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
cpu() {
    local input=$1
    shift
    printf '%b' "$input" | cpu_seconds "$out" "$@"
}

# bench
base=$(for i in 1 2 3; do cpu 'quit\n' "$engine"; done | median 3)
v_printed=() v_cpu=() e_printed=() e_cpu=()
for ((i = 0; i < runs; ++i)); do
    cpu '' "$engine" bench >/dev/null
    v_nodes=$(sed -n 's/^Nodes *: //p' "$out")
    v_printed+=("$(sed -n 's/^NPS *: //p' "$out")")
    t=$(cpu '' "$engine" bench "$depth")
    nodes=$(sed -n 's/^Nodes *: //p' "$out")
    v_cpu+=("$(awk -v n="$nodes" -v t="$t" -v b="$base" 'BEGIN { printf "%.0f", n / (t - b) }')")
    t=$(cpu '' "$ethereal" bench)
    e_nodes=$(sed -n 's/^Nodes *: //p' "$out")
    e_printed+=("$(sed -n 's/^NPS *: //p' "$out")")
    e_cpu+=("$(awk -v n="$e_nodes" -v t="$t" 'BEGIN { printf "%.0f", n / t }')")
done
vp=$(printf '%s\n' "${v_printed[@]}" | median) vc=$(printf '%s\n' "${v_cpu[@]}" | median)
ep=$(printf '%s\n' "${e_printed[@]}" | median) ec=$(printf '%s\n' "${e_cpu[@]}" | median)
echo "bench, $runs runs each; ethereal: $e_nodes nodes"
printf '  printed nps, vantorel bench (%d nodes):      vantorel %8.0f  ethereal %8.0f  ratio %s\n' \
    "$v_nodes" "$vp" "$ep" "$(ratio "$vp" "$ep" 2)"
printf '  cpu nps,     vantorel bench %d (%d nodes):   vantorel %8.0f  ethereal %8.0f  ratio %s\n' \
    "$depth" "$nodes" "$vc" "$ec" "$(ratio "$vc" "$ec" 2)"
printf '  (vantorel start-up: %.3f s cpu)\n' "$base"

# perft
v_start=$base
s_start=$(for i in 1 2 3; do cpu 'quit\n' "$stockfish"; done | median 3)
perft_runs=$(( runs < 6 ? 3 : runs / 2 ))
kiwipete="r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1"
for entry in "startpos|6" "fen $kiwipete|5"; do
    pos=${entry%|*} depth=${entry#*|}
    ours=() theirs=()
    for ((i = 0; i < perft_runs; ++i)); do
        ours+=("$(cpu "position $pos\nperft $depth\nquit\n" "$engine")")
        theirs+=("$(cpu "position $pos\ngo perft $depth\nquit\n" "$stockfish")")
    done
    o=$(printf '%s\n' "${ours[@]}" | median 3) s=$(printf '%s\n' "${theirs[@]}" | median 3)
    o=$(awk -v a="$o" -v b="$v_start" 'BEGIN { printf "%.3f", a - b }')
    s=$(awk -v a="$s" -v b="$s_start" 'BEGIN { printf "%.3f", a - b }')
    printf 'perft %-9s depth %d, %d runs each: vantorel %6.3f s  stockfish %6.3f s  ratio %s\n' \
        "${pos%% *}" "$depth" "$perft_runs" "$o" "$s" "$(ratio "$s" "$o" 2)"
done

# launch to uciok
for i in 1 2 3 4 5; do launch_ms "$engine"; done | median 1 | awk '{ printf "launch to uciok: median %s ms\n", $1 }'

# peak memory; the search's input stays open until it answers
kb=$(uci_input 'position startpos\ngo depth 12\n' "$out" | peak_kb "$out" "$engine")
awk -v kb="$kb" 'BEGIN { printf "go depth 12 peak memory: %d kB (%.1f MB)\n", kb, kb / 1024 }'
kb=$(peak_kb /dev/null "$engine" perfttest)
awk -v kb="$kb" 'BEGIN { printf "perfttest peak memory: %d kB (%.1f MB)\n", kb, kb / 1024 }'
