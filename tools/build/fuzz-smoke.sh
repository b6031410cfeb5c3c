#!/usr/bin/env bash
# CI smoke run of the fuzz targets: builds them (clang, ASan + UBSan) and runs each one for
# about a minute from its seed corpus. Fails when any target finds a crash, a hang, a
# sanitizer report or a broken invariant; the failing input is kept under
# build-fuzz/artifacts/<target>/ and can be replayed with build-fuzz/<target>_fuzz FILE.
#   tools/build/fuzz-smoke.sh [SECONDS]      (default 45 per target; the whole run stays under 5 min)
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../lib/lib.sh"
cd "$ROOT"
seconds=${1:-45}
start=$(date +%s)
status=0
tools/build/fuzz.sh "$seconds" uci fen book tablebase network || status=$?
echo "fuzz smoke: $(($(date +%s) - start)) s, status $status"
exit $status
