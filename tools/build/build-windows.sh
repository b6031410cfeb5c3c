#!/usr/bin/env bash
# Cross-builds the Windows engine, build-win/vantorel.exe: one statically linked x86-64
# console program that needs no DLL beyond Windows' own. Installs the mingw-w64 compiler and
# zlib when they are missing. Fails when the executable imports any other DLL.
#
# Syzygy tables: the probing library is Debian's source package of libfathom-dev, fetched (with
# a deb-src entry added to the system's Debian sources when there is none) and built with
# mingw-w64 into a static library outside the repository, under
# ${XDG_CACHE_HOME:-~/.cache}/vantorel/; once per version of libfathom-dev.
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

tools/build/setup.sh g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev \
    dpkg-dev

cache="${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/vantorel"
libs="$cache/mingw-w64" # include/ and lib/, as the toolchain file expects
version=$(dpkg-query -W -f='${Version}' libfathom-dev) # the one the Linux build probes with
if [ "$(cat "$libs/fathom.version" 2>/dev/null)" != "$version" ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    if ! apt-cache showsrc fathom 2>/dev/null | grep -q '^Package: fathom$'; then
        if [ -f /etc/apt/sources.list.d/debian.sources ]; then
            $sudo sed -i 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources
        else
            sed -n 's/^deb \(.*debian.*\)$/deb-src \1/p' /etc/apt/sources.list |
                $sudo tee /etc/apt/sources.list.d/vantorel-deb-src.list >/dev/null
        fi
        $sudo apt-get update -qq
    fi
    source_dir="$cache/fathom-source"
    rm -rf "$source_dir" && mkdir -p "$source_dir" "$libs/include" "$libs/lib"
    (cd "$source_dir" && apt-get source -qq "fathom=$version" >/dev/null)
    src=$(echo "$source_dir"/fathom-*/src)
    # Debian's flags but for TB_NO_THREADS: every search thread probes, so the library's lock
    # that guards the loading of a table on its first probe stays in.
    x86_64-w64-mingw32-gcc-posix -std=gnu99 -O2 -Wall -DTB_NO_HW_POP_COUNT -I"$src" \
        -c "$src/tbprobe.c" -o "$source_dir/tbprobe.o"
    rm -f "$libs/lib/libfathom.a"
    x86_64-w64-mingw32-ar rcs "$libs/lib/libfathom.a" "$source_dir/tbprobe.o"
    cp "$src/tbprobe.h" "$src/tbconfig.h" "$libs/include/"
    echo "$version" >"$libs/fathom.version"
    echo "built Debian's fathom $version for Windows: $libs/lib/libfathom.a"
fi

cmake --no-warn-unused-cli -S . -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw.cmake \
    -DCMAKE_BUILD_TYPE=Release -DVANTOREL_ARCH="$arch" -DVANTOREL_MINGW_LIBS="$libs" >/dev/null
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
