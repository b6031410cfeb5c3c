#!/usr/bin/env bash
# syzygy-tables.sh [OUT_DIR] [MAX_PIECES]: generates the Syzygy WDL and DTZ tables with up to
# MAX_PIECES pieces (default 5; 3-4-5 is about 1 GB and an hour or two on two cores) into
# OUT_DIR (default ./syzygy), with the public Syzygy generator, and checks every file against
# the checksums that the generator publishes. Tables already in OUT_DIR are kept.
#
# The generator is built outside the repository, in TB_BUILD (default ~/.cache/vantorel/tb),
# from TB_SRC: a checkout of https://github.com/syzygy1/tb, cloned there when not given.
# Needs git, make, gcc, perl and python3.
#
# With MAX_PIECES 5 (the whole published set) it also writes src/tablebase/sums.cpp,
# the size and CRC-32 of each table, which the engine checks before it uses a table.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../lib/lib.sh"

out=$(mkdir -p "${1:-syzygy}" && cd "${1:-syzygy}" && pwd)
max=${2:-5}
[[ $max =~ ^[3-5]$ ]] || { echo "MAX_PIECES must be 3, 4 or 5" >&2; exit 2; }
build=${TB_BUILD:-$HOME/.cache/vantorel/tb}
threads=$(nproc)

if [ ! -x "$build/src/tbcheck" ]; then
    rm -rf "$build"
    mkdir -p "$(dirname "$build")"
    git clone -q "${TB_SRC:-https://github.com/syzygy1/tb}" "$build"
    # Portable sliding attacks, and LZ4 for the temporary files so that zstd is not needed.
    sed -i -e 's/^FLAGS = -DBMI2/FLAGS = -DMAGIC/' -e '/ZSTD/d' -e '/-lzstd/d' "$build/src/Makefile"
    make -C "$build/src" -s all >/dev/null 2>&1 || make -C "$build/src" all
fi

cd "$out"
PATH="$build/src:$PATH" perl "$build/src/run.pl" --generate --threads "$threads" --max "$max" >generate.log
rm -f ./*.txt # the generator's statistics

# Every table made must match its published checksum, and every published one up to
# MAX_PIECES must have been made.
failed=0
for kind in wdl dtz; do
    grep -E "^K[A-Z]*vK[A-Z]*\.rtb[wz]: " "$build/checksums/${kind}345.txt" |
        awk -v max="$max" '{ name = $1; sub(/\..*/, "", name); if (length(name) - 1 <= max) print }' \
            >"$kind.sums"
    "$build/src/tbcheck" --compare "$kind.sums" 2>&1 | grep -v ': OK!$' && failed=1
    rm -f "$kind.sums"
done
[ "$failed" -eq 0 ] || { echo "checksum failures (above)" >&2; exit 1; }
echo "$(ls ./*.rtbw | wc -l) WDL and $(ls ./*.rtbz | wc -l) DTZ tables in $out, checksums OK"
[ "$max" -eq 5 ] || exit 0
# Through a temporary file: a failed run must not leave the checked-in list truncated.
sums=$ROOT/src/tablebase/sums.cpp
python3 "$ROOT/tools/data/syzygy-sums.py" "$out" >"$sums.tmp" || { rm -f "$sums.tmp"; exit 1; }
mv "$sums.tmp" "$sums"
echo "wrote $sums"
