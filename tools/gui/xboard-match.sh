#!/usr/bin/env bash
# Plays a match in the real xboard GUI, on a virtual X display: xboard starts PolyGlot for each
# UCI engine itself (the "-fUCI" way the README gives), plays the games with its clock and
# rules, and writes the PGN. Passes when every game ended by the rules of chess, with no
# illegal move and no loss on time.
#
#   tools/gui/xboard-match.sh [ENGINE] [OPPONENT] [GAMES] [BASE_TIME] [INCREMENT]
#       defaults: build/vantorel, the same engine, 1 game, 0:10 (m:ss), 0.1 (s)
#   e.g. tools/gui/xboard-match.sh build/vantorel /usr/games/stockfish 2 1:00 0.5
#
# Installs xboard, polyglot and xvfb when they are missing.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../lib/lib.sh"
engine=$(realpath "${1:-$ROOT/build/vantorel}")
opponent=$(realpath "${2:-$engine}")
cd "$ROOT"
games="${3:-1}"
base="${4:-0:10}"
increment="${5:-0.1}"

tools/build/setup.sh xboard polyglot xvfb xauth
export PATH="$PATH:/usr/games" # where Debian puts xboard and polyglot
out=$(mktemp -d "${TMPDIR:-/tmp}/vantorel-xboard-XXXXXX")

xvfb-run -a xboard -fcp "$engine" -fd "$(dirname "$engine")" -fUCI \
    -scp "$opponent" -sd "$(dirname "$opponent")" -sUCI \
    -mg "$games" -tc "$base" -inc "$increment" -autoCallFlag true \
    -sgf "$out/games.pgn" -debug -nameOfDebugFile "$out/xboard.debug" \
    -popupExitMessage false -saveSettingsOnExit false -settingsFile /dev/null \
    >"$out/xboard.out" 2>&1 || true

grep -h 'final score' "$out/xboard.out" || echo "xboard reported no match result"
grep -E '^\{.*\} (1-0|0-1|1/2-1/2|\*)$|^\[(White|Black) ' "$out/games.pgn" || true
failures=0
games_ended=$(grep -ciE '^\{.*(mate|repetition|50|fifty|material|draw by).*\} (1-0|0-1|1/2-1/2)$' "$out/games.pgn" || true)
if [ "$games_ended" -ne "$games" ]; then
    echo "FAIL: $games_ended of $games games ended by the rules"
    failures=1
fi
if grep -qiE 'illegal move|on time|forfeit|false claim' "$out/games.pgn" "$out/xboard.debug"; then
    echo "FAIL: $(grep -hiE 'illegal move|on time|forfeit|false claim' "$out/games.pgn" "$out/xboard.debug" | head -3)"
    failures=1
fi
echo "PGN and xboard's debug log in $out"
[ "$failures" -eq 0 ] && echo PASS || echo FAIL
exit "$failures"
