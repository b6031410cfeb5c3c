# lib.sh: what the shell scripts in tools/*/ share. Sourced, never run:
#
#   . "$(dirname "${BASH_SOURCE[0]}")/../lib/lib.sh"
#
# ROOT is the repository root (an absolute path, found from this file's place), so a script
# works from any directory: paths the user gives are taken as given (relative to where the
# script was started), the defaults are under ROOT.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# median [DECIMALS]: the median of the numbers on standard input (separated by spaces or line
# ends), with DECIMALS decimals (default 0); for an even count the mean of the middle two.
median() {
    tr -s '[:space:]' '\n' | grep . | sort -g | awk -v d="${1:-0}" '
        { v[++n] = $1 }
        END {
            if (n == 0) exit 1
            printf "%." d "f\n", (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
        }'
}

# ratio A B [DECIMALS]: A / B with DECIMALS decimals (default 3), 0 when B is not positive.
ratio() {
    awk -v a="$1" -v b="$2" -v d="${3:-3}" 'BEGIN { printf "%." d "f\n", (b > 0 ? a / b : 0) }'
}

# cpu_seconds OUT COMMAND...: runs COMMAND on the caller's standard input, its output into the
# file OUT (/dev/null to drop it) and its errors dropped, and prints the CPU seconds it used
# (user + system, in milliseconds' precision). Fails when COMMAND fails.
cpu_seconds() {
    local out=$1 TIMEFORMAT='%3U %3S' times
    shift
    times=$({ time "$@" >"$out" 2>/dev/null; } 2>&1) || return
    awk '{ printf "%.3f\n", $1 + $2 }' <<<"${times//,/.}"
}

# peak_kb OUT COMMAND...: runs COMMAND as cpu_seconds does and prints its peak resident memory
# in kB (GNU time: tools/build/setup.sh time).
peak_kb() {
    local out=$1 report status=0
    shift
    report=$(mktemp)
    /usr/bin/time -f '%M' -o "$report" "$@" >"$out" 2>/dev/null || status=$?
    tail -n 1 "$report"
    rm -f "$report"
    return "$status"
}

# uci_input TEXT OUT: writes TEXT (printf %b: "\n" ends a line) for an engine whose output goes
# to the file OUT, then keeps the input open until OUT holds a "bestmove" line (at most 10
# minutes) and sends "quit". The engine ends a search when its input ends, so a search fed
# from a pipe must be answered before the input closes:
#   uci_input 'position startpos\ngo depth 12\n' "$out" | peak_kb "$out" build/vantorel
uci_input() {
    printf '%b' "$1"
    local i
    for ((i = 0; i < 6000; ++i)); do
        grep -q '^bestmove' "$2" 2>/dev/null && break
        sleep 0.1
    done
    echo quit
}

# launch_ms ENGINE: wall milliseconds from starting ENGINE to its "uciok", to a tenth.
launch_ms() {
    local start=${EPOCHREALTIME/[.,]/} end
    end=$(printf 'uci\nquit\n' | "$1" 2>/dev/null | { grep -q '^uciok' && echo "${EPOCHREALTIME/[.,]/}"; })
    [ -n "$end" ] || return 1
    awk -v us="$((end - start))" 'BEGIN { printf "%.1f\n", us / 1000 }'
}
