#!/usr/bin/env bash
# Times this engine's perft against stockfish's `go perft` on the same positions, in one run,
# and prints the ratios. Also start-up time (launch to uciok) and the peak memory of perfttest.
# Usage: tools/perft-speed.sh [path/to/vantorel] [path/to/stockfish]
set -euo pipefail
engine=${1:-build/vantorel}
stockfish=${2:-/usr/games/stockfish}
[ -x "$stockfish" ] || { echo "stockfish not found: apt-get install stockfish"; exit 1; }

ms() { echo $(( $(date +%s%N) / 1000000 )); }

# Runs the command lines given on stdin through an engine and returns the milliseconds taken.
time_engine() {
    local exe=$1 input=$2 start end
    start=$(ms)
    printf '%b' "$input" | "$exe" >/dev/null
    end=$(ms)
    echo $((end - start))
}

kiwipete="r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1"
startup=$(time_engine "$engine" 'quit\n')
for entry in "startpos|6" "fen $kiwipete|5"; do
    pos=${entry%|*}
    depth=${entry#*|}
    ours=$(time_engine "$engine" "position $pos\nperft $depth\nquit\n")
    theirs=$(time_engine "$stockfish" "position $pos\ngo perft $depth\nquit\n")
    printf '%-10s perft %d: vantorel %6d ms (incl. %d ms start-up), stockfish %6d ms, ratio %.2f\n' \
        "${pos%% *}" "$depth" "$ours" "$startup" "$theirs" \
        "$(echo "($ours - $startup) / $theirs" | bc -l)"
done

for i in 1 2 3 4 5; do
    start=$(ms)
    echo uci | "$engine" | grep -q uciok
    echo $(( $(ms) - start ))
done | sort -n | awk '{ a[NR] = $1 } END { print "launch to uciok: median " a[3] " ms" }'

/usr/bin/time -v "$engine" perfttest 2>&1 >/dev/null | awk -F': ' '/Maximum resident/ { print "perfttest peak memory: " $2 " kB" }'
