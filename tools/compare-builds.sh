#!/usr/bin/env bash
# Builds the Linux flavours side by side and measures them in one run:
#   - the generic x86-64 build holds no instruction beyond the x86-64 baseline (objdump), and
#     runs on an emulated first 64-bit processor (AMD Opteron, SSE2 only) when qemu-user is
#     installed, where the x86-64-v3 build must fail;
#   - every build gives the same bench node count;
#   - bench speed of generic, x86-64-v3, native and profile-guided (native) builds, runs
#     alternating between builds, median per build and the ratio to native;
#   - peak resident memory of "go depth D" at the default Hash, and launch-to-uciok time.
#
#   tools/compare-builds.sh [BENCH_DEPTH] [ROUNDS]      defaults: 8 and 5
set -euo pipefail
cd "$(dirname "$0")/.."
depth="${1:-8}"
rounds="${2:-5}"
memory_depth="${MEMORY_DEPTH:-12}"

build() { # arch, build dir
    cmake -S . -B "$2" -DCMAKE_BUILD_TYPE=Release -DVANTOREL_TESTS=OFF -DVANTOREL_ARCH="$1" \
        -DVANTOREL_PGO=OFF >/dev/null
    cmake --build "$2" -j2 --target vantorel >/dev/null
}
echo "== building"
build x86-64 build-x86-64
build x86-64-v3 build-x86-64-v3
build native build-native
tools/pgo-build.sh native >/dev/null
names=(generic v3 native pgo)
binaries=(build-x86-64/vantorel build-x86-64-v3/vantorel build-native/vantorel build-pgo/vantorel)

echo "== generic build: instructions beyond the x86-64 baseline"
# "tzcnt" is excluded: it is "rep bsf", which older processors run as bsf (GCC emits it only
# where the two agree).
beyond=$(objdump -d --no-show-raw-insn build-x86-64/vantorel |
    awk -F'\t' 'NF >= 2 { split($2, w, " "); print w[1] }' |
    grep -E '^(v[a-z0-9]+|popcnt|lzcnt|pext|pdep|blsr|blsi|blsmsk|andn|shlx|shrx|sarx|bzhi|rorx|mulx|adcx|adox|movbe|crc32|pshufb|palignr|phadd[a-z]*|pmaddubsw|pmulhrsw|psign[bwd]|pabs[bwd]|ptest|pmin[su][bdw]|pmax[su][bdw]|pmulld|pextr[bdq]|pinsr[bdq]|round[sp][sd]|blendv?p[sd]|pblend[a-z]*|pcmpeqq|pcmpgtq|packusdw|pmov[sz]x[a-z]*|dpp[sd]|insertps|extractps|mpsadbw|phminposuw|movntdqa|lddqu|haddp[sd]|hsubp[sd]|addsubp[sd]|movddup|movs[hl]dup|pcmp[ei]str[im]|cmpxchg16b)$' |
    sort | uniq -c || true)
if [ -n "$beyond" ]; then
    echo "FAIL: $beyond"
    exit 1
fi
echo "none"
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
declare -A nps_runs nodes
for ((r = 1; r <= rounds; ++r)); do
    for i in "${!names[@]}"; do
        out=$("${binaries[$i]}" bench "$depth")
        nodes[${names[$i]}]=$(sed -n 's/^Nodes *: //p' <<<"$out")
        nps_runs[${names[$i]}]+="$(sed -n 's/^NPS *: //p' <<<"$out") "
    done
done
median() { tr ' ' '\n' | grep . | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
native_nps=$(median <<<"${nps_runs[native]}")
for name in "${names[@]}"; do
    m=$(median <<<"${nps_runs[$name]}")
    printf '%-8s nodes %-10s NPS median %-9s ratio to native %s   (runs: %s)\n' "$name" \
        "${nodes[$name]}" "$m" "$(awk -v a="$m" -v b="$native_nps" 'BEGIN { printf "%.3f", a / b }')" \
        "${nps_runs[$name]}"
done
if [ "$(printf '%s\n' "${nodes[@]}" | sort -u | wc -l)" -ne 1 ]; then
    echo "FAIL: the builds disagree on the bench node count"
    exit 1
fi

echo "== peak memory: go depth $memory_depth at the default Hash (64 MB), native build"
printf 'position startpos\ngo depth %s\n' "$memory_depth" |
    /usr/bin/time -v build-native/vantorel 2>&1 >/dev/null | grep -E 'Maximum resident|Elapsed'

echo "== launch to uciok, native build, 21 runs"
python3 - build-native/vantorel <<'EOF'
import statistics, subprocess, sys, time
times = []
for _ in range(21):
    start = time.perf_counter()
    engine = subprocess.Popen([sys.argv[1]], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    engine.stdin.write("uci\n")
    engine.stdin.flush()
    while engine.stdout.readline().strip() != "uciok":
        pass
    times.append((time.perf_counter() - start) * 1000)
    engine.stdin.write("quit\n")
    engine.stdin.flush()
    engine.wait()
times.sort()
print(f"median {statistics.median(times):.1f} ms, min {times[0]:.1f}, max {times[-1]:.1f}")
EOF
