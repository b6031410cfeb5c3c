#!/usr/bin/env bash
# Compares the speed of two builds of the engine on the same tree: bench runs alternate
# between them; prints each one's median nodes per second and their ratio. Speed is bench
# nodes over the process's CPU time less that of a "bench 1" run (start-up and table
# clearing), steadier than the wall clock on a busy machine. The node counts must agree, or
# the two builds do not search the same tree.
#
#   tools/measure/bench-ab.sh NEW_EXE OLD_EXE [RUNS] [DEPTH]       defaults: 6 runs each, depth 16
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../lib/lib.sh"
[ $# -ge 2 ] || { echo "usage: tools/measure/bench-ab.sh NEW_EXE OLD_EXE [RUNS] [DEPTH]" >&2; exit 2; }
new=$(realpath "$1") old=$(realpath "$2") runs=${3:-6} depth=${4:-16}
for exe in "$new" "$old"; do
    [ -x "$exe" ] || { echo "not an executable: $exe" >&2; exit 2; }
done

bench_cpu() { cpu_seconds /dev/null "$1" bench "$2"; }
nodes() { "$1" bench "$depth" 2>/dev/null | sed -n 's/^Nodes *: //p'; }
nps() { awk -v n="$1" -v t="$2" -v b="$3" 'BEGIN { printf "%.0f\n", n / (t - b) }'; }

new_nodes=$(nodes "$new") old_nodes=$(nodes "$old")
[ "$new_nodes" = "$old_nodes" ] || { echo "node counts differ: $new_nodes vs $old_nodes"; exit 1; }
new_base=$(for i in 1 2 3; do bench_cpu "$new" 1; done | median 3)
old_base=$(for i in 1 2 3; do bench_cpu "$old" 1; done | median 3)
new_nps=() old_nps=()
for ((i = 0; i < runs; ++i)); do
    new_nps+=("$(nps "$new_nodes" "$(bench_cpu "$new" "$depth")" "$new_base")")
    old_nps+=("$(nps "$old_nodes" "$(bench_cpu "$old" "$depth")" "$old_base")")
done
a=$(printf '%s\n' "${new_nps[@]}" | median)
b=$(printf '%s\n' "${old_nps[@]}" | median)
echo "bench $depth, $runs runs each, $new_nodes nodes"
echo "new: median $a nps   (${new_nps[*]})"
echo "old: median $b nps   (${old_nps[*]})"
echo "ratio new/old: $(ratio "$a" "$b")"
