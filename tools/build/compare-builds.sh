#!/usr/bin/env bash
# Builds the Linux flavours side by side and measures them in one run:
#   - the generic x86-64 build holds no instruction beyond the x86-64 baseline (objdump), and
#     runs on an emulated first 64-bit processor (AMD Opteron, SSE2 only) when qemu-user is
#     installed, where the x86-64-v3 build must fail;
#   - every build gives the same bench node count;
#   - bench speed of the generic, x86-64-v3, native, link-time optimised, profile-guided and
#     profile-guided + link-time optimised (all native) builds, runs alternating between
#     builds: median NPS per build (the bench's own, wall clock) and the ratio to native, also
#     by CPU time (nodes per CPU second, less the CPU time of a "bench 1" run for start-up and
#     table clearing), steadier than the wall clock on a busy machine;
#   - peak resident memory of "go depth D" at the default Hash, and launch-to-uciok time.
#
#   tools/build/compare-builds.sh [BENCH_DEPTH] [ROUNDS]      defaults: 15 and 5
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../lib/lib.sh"
cd "$ROOT"
depth="${1:-15}"
rounds="${2:-5}"
memory_depth="${MEMORY_DEPTH:-12}"
tools/build/setup.sh time

build() { # arch, build dir, LTO
    cmake -S . -B "$2" -DCMAKE_BUILD_TYPE=Release -DVANTOREL_TESTS=OFF -DVANTOREL_ARCH="$1" \
        -DVANTOREL_LTO="${3:-OFF}" -DVANTOREL_PGO=OFF -DVANTOREL_STATIC=OFF >/dev/null
    cmake --build "$2" -j2 --target vantorel >/dev/null
}
echo "== building"
build x86-64 build-x86-64
build x86-64-v3 build-x86-64-v3
build native build-native
build native build-native-lto ON
tools/build/pgo-build.sh native >/dev/null
LTO=ON tools/build/pgo-build.sh native >/dev/null
names=(generic v3 native lto pgo pgo+lto)
binaries=(build-x86-64/vantorel build-x86-64-v3/vantorel build-native/vantorel
    build-native-lto/vantorel build-pgo/vantorel build-pgo-lto/vantorel)

echo "== generic build: instructions beyond the x86-64 baseline"
tools/build/check-baseline.sh build-x86-64/vantorel
if command -v qemu-x86_64 >/dev/null; then
    qemu-x86_64 -cpu Opteron_G1 build-x86-64/vantorel bench 3 | grep -q '^Nodes' &&
        echo "generic build runs bench on an emulated Opteron (SSE2 only)"
    if qemu-x86_64 -cpu Opteron_G1 build-x86-64-v3/vantorel bench 3 >/dev/null 2>&1; then
        echo "FAIL: the x86-64-v3 build ran on the Opteron too: the emulation proves nothing"
        exit 1
    fi
    echo "x86-64-v3 build refused there (illegal instruction), as it should"
else
    echo "(apt-get install qemu-user to run the generic build on an emulated baseline processor)"
fi

echo "== bench $depth, $rounds rounds, builds alternating"
declare -A nps_runs cpu_runs nodes
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for ((r = 1; r <= rounds; ++r)); do
    for i in "${!names[@]}"; do
        name=${names[$i]}
        base=$(cpu_seconds /dev/null "${binaries[$i]}" bench 1)
        cpu=$(cpu_seconds "$out" "${binaries[$i]}" bench "$depth")
        nodes[$name]=$(sed -n 's/^Nodes *: //p' "$out")
        nps_runs[$name]+="$(sed -n 's/^NPS *: //p' "$out") "
        cpu_runs[$name]+="$(awk -v n="${nodes[$name]}" -v t="$cpu" -v b="$base" 'BEGIN { printf "%d", n / (t - b) }') "
    done
done
native_nps=$(median <<<"${nps_runs[native]}")
native_cpu=$(median <<<"${cpu_runs[native]}")
printf '%-8s %-9s %-11s %-7s %-14s %-7s %s\n' build nodes "NPS median" ratio "nodes/CPU s" ratio "NPS of each run"
for name in "${names[@]}"; do
    m=$(median <<<"${nps_runs[$name]}")
    c=$(median <<<"${cpu_runs[$name]}")
    printf '%-8s %-9s %-11s %-7s %-14s %-7s %s\n' "$name" "${nodes[$name]}" "$m" \
        "$(ratio "$m" "$native_nps")" "$c" "$(ratio "$c" "$native_cpu")" "${nps_runs[$name]}"
done
if [ "$(printf '%s\n' "${nodes[@]}" | sort -u | wc -l)" -ne 1 ]; then
    echo "FAIL: the builds disagree on the bench node count"
    exit 1
fi

echo "== peak memory: go depth $memory_depth at the default Hash (64 MB), native build"
kb=$(uci_input "position startpos\ngo depth $memory_depth\n" "$out" | peak_kb "$out" build-native/vantorel)
echo "peak resident memory: $kb kB"

echo "== launch to uciok, native build, 21 runs"
times=$(for i in $(seq 21); do launch_ms build-native/vantorel; done | sort -g)
echo "median $(median 1 <<<"$times") ms, min $(head -n 1 <<<"$times"), max $(tail -n 1 <<<"$times")"
