#!/usr/bin/env bash
# Cross-builds the Windows engine, build-win/vantorel.exe: one statically linked x86-64
# console program that needs no DLL beyond Windows' own. Installs the mingw-w64 compiler when
# it is missing. Fails when the executable imports any other DLL.
#
# The generic build is also checked for instructions beyond the x86-64 baseline.
#
#   tools/build/build-windows.sh [ARCH]    ARCH: x86-64 (default, any 64-bit processor) or x86-64-v3
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../lib/lib.sh"
cd "$ROOT"
arch="${1:-x86-64}"
build_dir="build-win"
[ "$arch" = "x86-64" ] || build_dir="build-win-$arch"

tools/build/setup.sh g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64

cmake --no-warn-unused-cli -S . -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw.cmake \
    -DCMAKE_BUILD_TYPE=Release -DVANTOREL_ARCH="$arch" >/dev/null
cmake --build "$build_dir" -j2

exe="$build_dir/vantorel.exe"
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | sort -u)
echo "$exe ($(stat -c %s "$exe") bytes) imports:" $imports
for dll in $imports; do
    case "${dll,,}" in
    kernel32.dll | msvcrt.dll) ;;
    *)
        echo "error: $exe depends on $dll, which Windows does not ship" >&2
        exit 1
        ;;
    esac
done
[ "$arch" != "x86-64" ] || tools/build/check-baseline.sh "$exe" x86_64-w64-mingw32-objdump
