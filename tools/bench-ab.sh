#!/usr/bin/env bash
# Compares the speed of two builds of the engine on the same tree: bench runs alternate
# between them; prints each one's median nodes per second and their ratio. Speed is bench
# nodes over the process's CPU time less that of a "bench 1" run (start-up and table
# clearing), steadier than the wall clock on a busy machine. The node counts must agree, or
# the two builds do not search the same tree.
#
#   tools/bench-ab.sh NEW_EXE OLD_EXE [RUNS] [DEPTH]       defaults: 6 runs each, depth 16
set -euo pipefail
new=$1 old=$2 runs=${3:-6} depth=${4:-16}

cpu_seconds() { { /usr/bin/time -f '%U %S' "$1" bench "$2" >/dev/null; } 2>&1 | tail -n 1 | awk '{ print $1 + $2 }'; }
median() { sort -g | awk '{ a[NR] = $1 } END { printf "%.0f\n", (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }
nodes() { "$1" bench "$depth" 2>/dev/null | sed -n 's/^Nodes *: //p'; }

new_nodes=$(nodes "$new") old_nodes=$(nodes "$old")
[ "$new_nodes" = "$old_nodes" ] || { echo "node counts differ: $new_nodes vs $old_nodes"; exit 1; }
new_base=$(for i in 1 2 3; do cpu_seconds "$new" 1; done | sort -g | sed -n 2p)
old_base=$(for i in 1 2 3; do cpu_seconds "$old" 1; done | sort -g | sed -n 2p)
new_nps=() old_nps=()
for ((i = 0; i < runs; ++i)); do
    new_nps+=("$(echo "$new_nodes / ($(cpu_seconds "$new" "$depth") - $new_base)" | bc)")
    old_nps+=("$(echo "$old_nodes / ($(cpu_seconds "$old" "$depth") - $old_base)" | bc)")
done
a=$(printf '%s\n' "${new_nps[@]}" | median)
b=$(printf '%s\n' "${old_nps[@]}" | median)
echo "bench $depth, $runs runs each, $new_nodes nodes"
echo "new: median $a nps   (${new_nps[*]})"
echo "old: median $b nps   (${old_nps[*]})"
echo "ratio new/old: $(echo "scale=3; $a / $b" | bc)"
