#!/usr/bin/env python3
"""syzygy-sums.py DIR: prints the C++ list of the size and CRC-32 of every Syzygy table file in
DIR (src/tablebase/sums.cpp). DIR must hold tables checked against the generator's
published checksums, as tools/data/syzygy-tables.sh leaves them."""
import os
import sys
import zlib


def main():
    folder = sys.argv[1]
    names = sorted(n for n in os.listdir(folder) if n.endswith((".rtbw", ".rtbz")))
    print("// The published Syzygy tables of up to five pieces: written by tools/data/syzygy-tables.sh.")
    print('#include "tablebase/sums.h"\n')
    print("// clang-format off")
    print("const PublishedTable PUBLISHED_TABLES[] = {")
    for name in names:
        with open(os.path.join(folder, name), "rb") as f:
            data = f.read()
        print(f'    {{ "{name}", {len(data)}, 0x{zlib.crc32(data):08x} }},')
    print("};")
    print("// clang-format on")
    print("const int PUBLISHED_TABLE_COUNT = sizeof PUBLISHED_TABLES / sizeof PUBLISHED_TABLES[0];")


if __name__ == "__main__":
    main()
