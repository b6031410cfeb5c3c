#!/usr/bin/env bash
# Runs the Windows build under Wine and compares it with the Linux build: the perft suite,
# a UCI transcript (the same text but for CRLF line ends), a prompt exit on "quit" while the
# GUI keeps the pipe open, searches on four threads, and the bench node count, which must be
# identical.
# On demand (about a minute plus the bench): installs Wine when it is missing.
#
#   tools/build/wine-check.sh [BENCH_DEPTH]     default depth 10, as the bench itself
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../lib/lib.sh"
cd "$ROOT"
depth="${1:-10}"

tools/build/setup.sh wine64
tools/build/build-windows.sh >/dev/null
[ -x build/vantorel ] || { cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null && cmake --build build -j2 >/dev/null; }
cmake --build build -j2 --target vantorel >/dev/null

wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/vantorel-wine}" WINEDEBUG=-all
linux=build/vantorel
windows=build-win/vantorel.exe
win() { "$wine" "$windows" "$@" 2>/dev/null; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
failures=0
check() { # name, then a command that succeeds when the check passes
    local name="$1"
    shift
    if "$@"; then echo "PASS $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}

"$wine" --version
echo quit | win >/dev/null || true # the first start sets up the Wine prefix

win perfttest >"$out/perft.txt"
check "perfttest under Wine" grep -q $'^6/6 passed\r$' "$out/perft.txt"

transcript=$'uci\nisready\nposition startpos moves e2e4 e7e5 g1f3\nd\nperft 3\nquit\n'
printf '%s' "$transcript" | "$linux" >"$out/linux.txt"
printf '%s' "$transcript" | win >"$out/windows.txt"
check "every output line ends in CRLF" bash -c "! grep -qv $'\r\$' '$out/windows.txt'"
check "UCI transcript matches Linux" cmp -s "$out/linux.txt" <(tr -d '\r' <"$out/windows.txt")

# A GUI may wait for the engine to exit before it closes the pipe.
start=$(date +%s%N)
(printf 'uci\nquit\n'; sleep 20) | (timeout 15 "$wine" "$windows" >/dev/null 2>&1; date +%s%N >"$out/exit_time")
elapsed_ms=$((($(cat "$out/exit_time") - start) / 1000000))
echo "quit with the pipe held open: exited after ${elapsed_ms} ms"
check "exits on quit while the pipe stays open" test "$elapsed_ms" -lt 10000

# Four threads: a fixed depth, then a clock, with the pipe kept open until the answers.
(printf 'setoption name Threads value 4\nposition startpos\ngo depth 14\n'
    printf 'position startpos moves e2e4\ngo wtime 3000 btime 3000\n'
    sleep 8; echo quit) | timeout 30 "$wine" "$windows" 2>/dev/null | tr -d '\r' >"$out/threads.txt"
grep -E '^(info depth 14 |bestmove)' "$out/threads.txt" | cut -c1-100
check "four threads: go depth and a clocked go both answer" test "$(grep -c '^bestmove' "$out/threads.txt")" -eq 2
check "four threads: depth 14 reached" grep -q '^info depth 14 ' "$out/threads.txt"

"$linux" bench "$depth" >"$out/bench_linux.txt"
win bench "$depth" | tr -d '\r' >"$out/bench_windows.txt"
if grep -q '^Nodes' "$out/bench_linux.txt"; then
    echo "bench $depth  Linux  : $(grep -E '^(Nodes|NPS)' "$out/bench_linux.txt" | tr '\n' ' ')"
    echo "bench $depth  Windows: $(grep -E '^(Nodes|NPS)' "$out/bench_windows.txt" | tr '\n' ' ')"
    check "bench node count matches Linux" \
        test "$(grep '^Nodes' "$out/bench_linux.txt")" = "$(grep '^Nodes' "$out/bench_windows.txt")"
    check "bench output matches Linux but for times" cmp -s \
        <(grep -Ev '^(Time|NPS)' "$out/bench_linux.txt" | sed -E 's/ (nps|time) [0-9]+//g') \
        <(grep -Ev '^(Time|NPS)' "$out/bench_windows.txt" | sed -E 's/ (nps|time) [0-9]+//g')
else
    echo "SKIP bench: this build has no search yet"
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
