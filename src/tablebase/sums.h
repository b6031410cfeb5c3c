// sums.h: the size and CRC-32 of each published Syzygy table of up to five pieces
// (sorted by name), written by tools/data/syzygy-tables.sh from tables that match the
// generator's published checksums.
#pragma once

#include <cstdint>

struct PublishedTable {
    const char* name;
    std::uint64_t size;
    std::uint32_t crc32;
};

extern const PublishedTable PUBLISHED_TABLES[];
extern const int PUBLISHED_TABLE_COUNT;
