#!/usr/bin/env bash
# Runs the Windows build under Wine and compares it with the Linux build: the perft suite,
# a UCI transcript (the same text but for CRLF line ends), a prompt exit on "quit" while the
# GUI keeps the pipe open, searches on four threads, the Syzygy tables (the options, the tables
# found and refused as on Linux, also from a folder on another file system, where no hard link
# reaches; won KQK and KRK endings played to mate, every move checked by the Linux build), and
# the bench node count, which must be identical.
# On demand (about two minutes plus the bench): installs Wine when it is missing.
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

# Syzygy tables. The info strings on loading, the same as Linux's; then the same from a copy on
# another file system (tmpfs), where the tables cannot be hard-linked: the sound folder is read
# as it is, the damaged one's sound table is refused.
tables=tests/data/syzygy
check "uci lists the four Syzygy options" \
    test "$(grep -c '^option name Syzygy' <(tr -d '\r' <"$out/windows.txt"))" -eq 4
loads() { for folder; do echo "setoption name SyzygyPath value $folder"; done; echo quit; }
loads "$tables" tests/data/syzygy-damaged /nonexistent | "$linux" >"$out/tb_linux.txt"
loads "$tables" tests/data/syzygy-damaged /nonexistent | win | tr -d '\r' >"$out/tb_windows.txt"
cat "$out/tb_windows.txt"
check "Syzygy tables found and damaged ones refused as on Linux" \
    cmp -s "$out/tb_linux.txt" "$out/tb_windows.txt"
elsewhere=$(mktemp -d /dev/shm/vantorel-tables-XXXXXX 2>/dev/null || true)
trap 'rm -rf "$out" ${elsewhere:+"$elsewhere"}' EXIT
if [ -z "$elsewhere" ] || [ "$(stat -c %d "$elsewhere")" = "$(stat -c %d "$WINEPREFIX")" ]; then
    echo "SKIP tables on another file system: no tmpfs at /dev/shm apart from the Wine prefix"
else
    cp -r "$tables" tests/data/syzygy-damaged "$elsewhere/"
    loads "$elsewhere/syzygy" "$elsewhere/syzygy-damaged" | win | tr -d '\r' >"$out/tb_other.txt"
    check "tables on another file system: a sound folder read as it is" \
        grep -qx 'info string Syzygy tables found: 9 WDL, 8 DTZ, up to 4 pieces' "$out/tb_other.txt"
    check "tables on another file system: a damaged folder's sound table refused" \
        grep -qx 'info string Syzygy table KNvK.rtbw cannot be linked: not used' "$out/tb_other.txt"
fi

# play FEN: the Windows engine plays both sides from FEN, a win for the side to move, until no
# move is left (at most 120 plies), and prints the moves.
play() {
    local moves="" line
    coproc ENGINE { timeout 600 "$wine" "$windows" 2>/dev/null; }
    echo "setoption name SyzygyPath value $tables" >&"${ENGINE[1]}"
    for _ in $(seq 120); do
        printf 'position fen %s moves%s\ngo depth 8\n' "$1" "$moves" >&"${ENGINE[1]}"
        while IFS= read -r -t 60 line <&"${ENGINE[0]}" && [[ $line != bestmove* ]]; do :; done
        line=${line%$'\r'}
        [[ $line == bestmove* && $line != "bestmove 0000" ]] || break
        moves+=" ${line#bestmove }"
    done
    echo quit >&"${ENGINE[1]}"
    wait "$ENGINE_PID" || true
    echo "$moves"
}
# converts NAME FEN: the game ends in mate, and the Linux build, searching each move played
# alone, finds that it keeps the win (or that it is the mate) and that none is left after.
converts() {
    local moves plies k score
    moves=($(play "$2"))
    plies=${#moves[@]}
    echo "setoption name SyzygyPath value $tables" >"$out/referee.txt"
    for ((k = 0; k < plies; k++)); do
        echo "position fen $2 moves ${moves[*]:0:k}"
        echo "go depth 3 searchmoves ${moves[k]}"
    done >>"$out/referee.txt"
    printf 'position fen %s moves %s\ngo depth 1\nquit\n' "$2" "${moves[*]}" >>"$out/referee.txt"
    "$linux" <"$out/referee.txt" | awk '/^info depth/ { s = $0; sub(/.* score /, "", s); sub(/ nodes.*/, "", s) }
        /^bestmove/ { print s; s = "" }' >"$out/scores.txt"
    echo "$1: $plies plies:${moves[*]}"
    [ "$plies" -gt 0 ] || return 1
    k=0
    while read -r score; do
        case "$k:$score" in
        "$((plies - 1)):mate 1" | "$plies:") ;; # the last move mates; no move is left
        "$((plies - 1)):"* | "$plies:"*) echo "$1: not mate after move $plies ($score)" && return 1 ;;
        *[02468]:"cp 30870" | *[02468]:mate\ [1-9]* | *[13579]:"cp -30870" | *[13579]:"mate -"*) ;;
        *) echo "$1: move $((k + 1)) gives up the win ($score)" && return 1 ;;
        esac
        k=$((k + 1))
    done <"$out/scores.txt"
    [ "$k" -eq "$((plies + 1))" ]
}
check "KQK converted to mate" converts KQK "8/8/8/4k3/8/8/8/KQ6 w - - 0 1"
check "KRK converted to mate" converts KRK "8/8/8/3k4/8/8/8/K6R w - - 0 1"

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
