#!/usr/bin/env bash
# Profile-guided build in one command: builds an instrumented engine, trains it on the bench,
# and rebuilds with the profile. The result is build-pgo/vantorel
# (build-pgo-ARCH/vantorel for another ARCH).
#
#   tools/build/pgo-build.sh [ARCH]     ARCH as for VANTOREL_ARCH: native (default), x86-64, x86-64-v3
#   PGO_BENCH_DEPTH=N tools/build/pgo-build.sh    depth of the training bench (default 16: shallower training made a slower build)
#   LTO=ON tools/build/pgo-build.sh               with link-time optimisation too (build-pgo-lto)
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../lib/lib.sh"
cd "$ROOT"
arch="${1:-native}"
depth="${PGO_BENCH_DEPTH:-16}"
lto="${LTO:-OFF}"
build_dir="build-pgo"
[ "$arch" = "native" ] || build_dir="$build_dir-$arch"
[ "$lto" = "OFF" ] || build_dir="$build_dir-lto"
profile_dir="$PWD/$build_dir/pgo-profile"

configure() {
    cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DVANTOREL_TESTS=OFF \
        -DVANTOREL_ARCH="$arch" -DVANTOREL_LTO="$lto" -DVANTOREL_PGO="$1" -DVANTOREL_PGO_DIR="$profile_dir" >/dev/null
    cmake --build "$build_dir" -j2 --target vantorel >/dev/null
}

echo "== instrumented build"
rm -rf "$profile_dir"
configure GENERATE

echo "== training"
if "$build_dir/vantorel" bench 1 | grep -q '=== Bench ==='; then
    "$build_dir/vantorel" bench "$depth" | tail -4
else
    # No search in this build: the move generator is all there is to train.
    printf '%s\n' "perft 5" \
        "position fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1" \
        "perft 4" quit | "$build_dir/vantorel" | grep -i total || true
fi
[ -n "$(find "$profile_dir" -name '*.gcda' 2>/dev/null)" ] || {
    echo "error: the training run wrote no profile to $profile_dir" >&2
    exit 1
}

echo "== optimised build with the profile"
configure USE
echo "built $build_dir/vantorel"
