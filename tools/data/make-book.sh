#!/usr/bin/env bash
# make-book.sh: builds the small Polyglot book the tests use, tests/data/book/sf-lowskill.bin.
#
# Two low-skill Stockfish instances play games from the start position (the match tool checks
# every move); polyglot turns the games into a book of their first plies. Low skill levels make
# Stockfish pick among several moves at random, so the games and the book branch.
# Stockfish's randomness is seeded from its clock: each run gives a slightly different book.
#
# Needs: node (18+), stockfish and polyglot (apt-get install -y stockfish polyglot), and the
# match.mjs driver, whose path MATCH gives.
# Usage: tools/data/make-book.sh [output.bin] [games]
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../lib/lib.sh"
out=${1:-$ROOT/tests/data/book/sf-lowskill.bin}
games=${2:-600}
match=${MATCH:?set MATCH to the path of the match.mjs driver}
stockfish=${STOCKFISH:-$(command -v stockfish || echo /usr/games/stockfish)}
polyglot=${POLYGLOT:-$(command -v polyglot || echo /usr/games/polyglot)}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Skill levels 4 and 6 at a fixed depth (no clock to lose on a busy machine); only the
# opening matters, so the match tool adjudicates a draw after --max-plies. It exits with 1
# when it saw an anomaly; the games it wrote are still good for a book.
node "$match" --e1 "$stockfish" --e2 "$stockfish" \
    --o1 "Skill Level=4" --o1 "Threads=1" --o1 "Hash=16" \
    --o2 "Skill Level=6" --o2 "Threads=1" --o2 "Hash=16" \
    --random-plies 0 --games "$games" --depth 6 --max-plies 40 \
    --pgn "$work/games.pgn" --quiet || echo "match: anomalies reported, games kept"
test -s "$work/games.pgn"

# Up to 16 plies, every move played in at least 3 games.
"$polyglot" make-book -pgn "$work/games.pgn" -bin "$work/book.bin" -max-ply 16 -min-game 3
cp "$work/book.bin" "$out"
if [ -n "${KEEP_PGN:-}" ]; then cp "$work/games.pgn" "$KEEP_PGN"; fi
echo "$out: $(($(stat -c %s "$out") / 16)) entries from $games games"
