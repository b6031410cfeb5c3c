#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each one for SECONDS.
#   tools/build/fuzz.sh SECONDS [TARGET...]      TARGET: uci, fen, book, tablebase or network
#                                                (default: all)
# Targets run one after another, one process each. The seed corpus of fuzz/corpus/<target> is
# copied into build-fuzz/corpus/<target>, which keeps growing from run to run; inputs that
# fail land in build-fuzz/artifacts/<target>/ and the log in build-fuzz/logs/<target>.log.
# Extra libFuzzer flags may be given in FUZZ_FLAGS. The exit status is 1 when any target
# found a failure.
#   tools/build/fuzz.sh merge [TARGET...]
# folds the grown corpora back into fuzz/corpus/<target>: an input is added only when it reaches
# a branch that none of the kept ones does (hit counts ignored, so the kept corpus stays small
# enough for the unit suite to replay on every run).
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../lib/lib.sh"
cd "$ROOT"

if [ $# -lt 1 ]; then
    echo "usage: tools/build/fuzz.sh SECONDS|merge [uci|fen|book|tablebase|network]..." >&2
    exit 2
fi
seconds=$1
shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(uci fen book tablebase network)

build=${FUZZ_BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -DVANTOREL_FUZZ=ON -DVANTOREL_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O2 -g" >/dev/null || exit 1
cmake --build "$build" -j2 --target "${targets[@]/%/_fuzz}" || exit 1

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
if [ "$seconds" = merge ]; then
    mkdir -p "$build/logs"
    for target in "${targets[@]}"; do
        before=$(ls fuzz/corpus/"$target" | wc -l)
        "$build/${target}_fuzz" -merge=1 -use_counters=0 -timeout=20 -rss_limit_mb=3072 \
            fuzz/corpus/"$target" "$build/corpus/$target" >"$build/logs/$target-merge.log" 2>&1 \
            || { echo "$target: merge failed, see $build/logs/$target-merge.log"; exit 1; }
        echo "$target: $before kept inputs, now $(ls fuzz/corpus/"$target" | wc -l)"
    done
    exit 0
fi
failed=0
for target in "${targets[@]}"; do
    corpus=$build/corpus/$target
    artifacts=$build/artifacts/$target
    mkdir -p "$corpus" "$artifacts" "$build/logs"
    cp -n fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null
    dict=()
    [ -f fuzz/"$target".dict ] && dict=(-dict=fuzz/"$target".dict)
    echo "== $target: ${seconds}s"
    # -timeout: a bounded search or perft 2 takes milliseconds; 20 s means the engine hangs.
    if "$build/${target}_fuzz" "$corpus" "${dict[@]}" -max_total_time="$seconds" \
        -timeout=20 -rss_limit_mb=3072 -max_len=8192 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" ${FUZZ_FLAGS:-} >"$build/logs/$target.log" 2>&1; then
        grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$build/logs/$target.log"
        echo "$target: no failure (corpus $(ls "$corpus" | wc -l) inputs)"
    else
        failed=1
        grep -E 'ERROR|FUZZ CHECK FAILED|runtime error|Test unit written' "$build/logs/$target.log" | head -20
        echo "$target: FAILED, see $build/logs/$target.log"
    fi
done
exit $failed
