#include "tablebase/files.h"

#ifdef VANTOREL_SYZYGY

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "tablebase/sums.h"

// What a file must start with to be read as a table of its kind.
static const unsigned char WDL_MAGIC[4] = { 0x71, 0xe8, 0x23, 0x5d };
static const unsigned char DTZ_MAGIC[4] = { 0xd7, 0x66, 0x0c, 0xa5 };
constexpr char PATH_SEPARATOR           = ':';
constexpr int SHOWN_NAME_LENGTH         = 200; // longer folder names are cut in messages

// "KRPvKR.rtbw": a king, up to five more pieces, 'v', the same for the other side.
static bool is_table_name(const std::string& name, const char* suffix)
{
    const std::size_t dot = name.size() >= 5 ? name.size() - 5 : 0;
    if (dot == 0 || name.compare(dot, std::string::npos, suffix) != 0)
        return false;
    const std::size_t v = name.find('v');
    if (v == std::string::npos || v > dot || name[0] != 'K' || name[v + 1] != 'K')
        return false;
    for (std::size_t i = 0; i < dot; ++i)
        if (i != v && !std::strchr("KQRBNP", name[i]))
            return false;
    return dot - 1 <= 7;
}

static std::uint32_t file_crc32(int fd)
{
    std::vector<unsigned char> buffer(1 << 20);
    uLong crc = crc32(0, nullptr, 0);
    for (ssize_t got; (got = read(fd, buffer.data(), buffer.size())) > 0;)
        crc = crc32(crc, buffer.data(), static_cast<uInt>(got));
    return static_cast<std::uint32_t>(crc);
}

// A table of up to five pieces must match the published one in size and CRC-32; larger ones,
// without a reference here, must be regular files whose size is a whole number of 64-byte
// blocks and the 16-byte checksum, and whose first bytes say their kind.
static bool is_sound_table(
    const std::string& path, const std::string& name, const unsigned char* magic)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    const PublishedTable* end       = PUBLISHED_TABLES + PUBLISHED_TABLE_COUNT;
    const PublishedTable* published = std::lower_bound(PUBLISHED_TABLES, end, name,
        [](const PublishedTable& t, const std::string& n) { return n.compare(t.name) > 0; });
    const bool known                = published != end && name == published->name;
    struct stat info;
    unsigned char head[4] = {};
    bool sound = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size % 64 == 16
        && read(fd, head, 4) == 4 && std::memcmp(head, magic, 4) == 0;
    if (sound && known)
        sound = static_cast<std::uint64_t>(info.st_size) == published->size
            && lseek(fd, 0, SEEK_SET) == 0 && file_crc32(fd) == published->crc32;
    close(fd);
    return sound;
}

static void scan_folder(const std::string& folder, TableFiles& tables)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        std::printf("info string Syzygy folder %.*s%s cannot be read\n", SHOWN_NAME_LENGTH,
            folder.c_str(), folder.size() > SHOWN_NAME_LENGTH ? "..." : "");
        return;
    }
    std::vector<std::string> names; // sorted, so that the messages come in a fixed order
    while (const dirent* entry = readdir(dir))
        names.emplace_back(entry->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const bool wdl = is_table_name(name, ".rtbw");
        if ((!wdl && !is_table_name(name, ".rtbz")) || tables.count(name))
            continue;
        const std::string path = folder + "/" + name;
        if (is_sound_table(path, name, wdl ? WDL_MAGIC : DTZ_MAGIC))
            tables[name] = path;
        else
            std::printf(
                "info string Syzygy table %s is damaged or unreadable: not used\n", name.c_str());
    }
}

TableFiles find_table_files(std::string_view paths)
{
    const std::string text(paths);
    TableFiles tables;
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = text.find(PATH_SEPARATOR, start);
        end             = end == std::string::npos ? text.size() : end;
        if (end > start)
            scan_folder(text.substr(start, end - start), tables);
        start = end + 1;
    }
    return tables;
}

std::string make_link_folder(const TableFiles& files)
{
    const char* tmp     = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vantorel-syzygy-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::printf("info string Syzygy tables not loaded: no temporary folder\n");
        return "";
    }
    for (const auto& [name, path] : files) {
        char* target = realpath(path.c_str(), nullptr);
        if (target && symlink(target, (pattern + "/" + name).c_str()) != 0)
            std::printf("info string Syzygy table %s cannot be linked: not used\n", name.c_str());
        std::free(target);
    }
    return pattern;
}

void remove_link_folder(std::string& folder)
{
    if (folder.empty())
        return;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                unlink((folder + "/" + entry->d_name).c_str());
        closedir(dir);
    }
    rmdir(folder.c_str());
    folder.clear();
}

#endif
