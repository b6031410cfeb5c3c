#include "tablebase/files.h"

#ifdef VANTOREL_SYZYGY

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <zlib.h>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <io.h>
#include <windows.h>
#else
#include <dirent.h>
#include <unistd.h>
#endif

#include "platform/input.h"
#include "tablebase/sums.h"

// What a file must start with to be read as a table of its kind.
static const unsigned char WDL_MAGIC[4] = { 0x71, 0xe8, 0x23, 0x5d };
static const unsigned char DTZ_MAGIC[4] = { 0xd7, 0x66, 0x0c, 0xa5 };

#ifdef _WIN32

// Windows engines separate folders with ';', as ':' belongs to a drive name (the library
// splits its own folder list the same way).
constexpr char PATH_SEPARATOR = ';';
constexpr char DIR_SEPARATOR  = '\\';

// A path as the wide-character calls take it: the text as UTF-8 when it is valid UTF-8, else
// in the ANSI code page, which some GUIs still send.
static std::wstring wide(const std::string& text)
{
    for (const UINT page : { CP_UTF8, CP_ACP }) {
        const DWORD flags = page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
        const int size    = static_cast<int>(text.size());
        const int length  = MultiByteToWideChar(page, flags, text.data(), size, nullptr, 0);
        if (length > 0) {
            std::wstring result(length, L'\0');
            MultiByteToWideChar(page, flags, text.data(), size, result.data(), length);
            return result;
        }
    }
    return L"";
}

static std::string utf8(const std::wstring& text)
{
    const int size = static_cast<int>(text.size());
    const int length
        = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string result(std::max(length, 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, result.data(), length, nullptr, nullptr);
    return result;
}

// `text` in the ANSI code page, or "" when a character does not fit.
static std::string ansi(const std::wstring& text)
{
    const UINT page   = GetACP();
    const bool exact  = page != CP_UTF8; // the UTF-8 code page holds every character
    const DWORD flags = exact ? WC_NO_BEST_FIT_CHARS : 0;
    const int size    = static_cast<int>(text.size());
    BOOL lost         = FALSE;
    const int length  = WideCharToMultiByte(
         page, flags, text.data(), size, nullptr, 0, nullptr, exact ? &lost : nullptr);
    if (length <= 0 || lost)
        return "";
    std::string result(length, '\0');
    WideCharToMultiByte(page, flags, text.data(), size, result.data(), length, nullptr, nullptr);
    return result;
}

// `path` as the library's narrow-character calls read it, through its short form when a
// character does not fit the ANSI code page; "" when neither form fits.
static std::string ansi_path(const std::wstring& path)
{
    const std::string result = ansi(path);
    if (!result.empty())
        return result;
    const DWORD length = GetShortPathNameW(path.c_str(), nullptr, 0);
    std::wstring short_form(length, L'\0');
    if (length == 0 || GetShortPathNameW(path.c_str(), short_form.data(), length) + 1 != length)
        return "";
    short_form.pop_back(); // the terminating zero
    return ansi(short_form);
}

// The entries of `folder`; false when it cannot be read.
static bool list_folder(const std::string& folder, std::vector<std::string>& names)
{
    WIN32_FIND_DATAW entry;
    const HANDLE find = FindFirstFileW((wide(folder) + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND; // an empty drive
    do
        names.push_back(utf8(entry.cFileName));
    while (FindNextFileW(find, &entry));
    FindClose(find);
    return true;
}

// The file that the library opens by this name: Windows' names ignore case, so "kqvk.RTBW" is
// KQvK.rtbw to it.
static std::string library_name(const std::string& name)
{
    std::string result    = name;
    const std::size_t dot = name.rfind('.');
    for (std::size_t i = 0; i < result.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        result[i] = static_cast<char>(dot != std::string::npos && i > dot ? std::tolower(c)
                : c == 'v' || c == 'V'                                    ? 'v'
                                                                          : std::toupper(c));
    }
    return result;
}

using FileInfo = struct _stat64;
// Binary: a text-mode read would change the bytes it checks.
static int open_file(const std::string& path)
{
    return _wopen(wide(path).c_str(), _O_RDONLY | _O_BINARY);
}
static int file_info(int fd, FileInfo& info) { return _fstat64(fd, &info); }
static long long rewind_file(int fd) { return _lseeki64(fd, 0, SEEK_SET); }
static int read_file(int fd, void* data, unsigned size) { return _read(fd, data, size); }
static void close_file(int fd) { _close(fd); }

#else

constexpr char PATH_SEPARATOR = ':';
constexpr char DIR_SEPARATOR  = '/';

static bool list_folder(const std::string& folder, std::vector<std::string>& names)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return false;
    while (const dirent* entry = readdir(dir))
        names.emplace_back(entry->d_name);
    closedir(dir);
    return true;
}

// Names are matched exactly, as the library opens them.
static std::string library_name(const std::string& name) { return name; }

using FileInfo = struct stat;
// Non-blocking, so that a FIFO named like a table cannot hold the engine up.
static int open_file(const std::string& path) { return open(path.c_str(), O_RDONLY | O_NONBLOCK); }
static int file_info(int fd, FileInfo& info) { return fstat(fd, &info); }
static long long rewind_file(int fd) { return lseek(fd, 0, SEEK_SET); }
static long read_file(int fd, void* data, unsigned size) { return read(fd, data, size); }
static void close_file(int fd) { close(fd); }

#endif

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
    for (long got; (got = read_file(fd, buffer.data(), static_cast<unsigned>(buffer.size()))) > 0;)
        crc = crc32(crc, buffer.data(), static_cast<uInt>(got));
    return static_cast<std::uint32_t>(crc);
}

// A table of up to five pieces must match the published one in size and CRC-32; larger ones,
// without a reference here, must be regular files whose size is a whole number of 64-byte
// blocks and the 16-byte checksum, and whose first bytes say their kind.
static bool is_sound_table(
    const std::string& path, const std::string& name, const unsigned char* magic)
{
    const int fd = open_file(path);
    if (fd < 0)
        return false;
    const PublishedTable* end       = PUBLISHED_TABLES + PUBLISHED_TABLE_COUNT;
    const PublishedTable* published = std::lower_bound(PUBLISHED_TABLES, end, name,
        [](const PublishedTable& t, const std::string& n) { return n.compare(t.name) > 0; });
    const bool known                = published != end && name == published->name;
    FileInfo info;
    unsigned char head[4] = {};
    bool sound = file_info(fd, info) == 0 && S_ISREG(info.st_mode) && info.st_size % 64 == 16
        && read_file(fd, head, 4) == 4 && std::memcmp(head, magic, 4) == 0;
    if (sound && known)
        sound = static_cast<std::uint64_t>(info.st_size) == published->size && rewind_file(fd) == 0
            && file_crc32(fd) == published->crc32;
    close_file(fd);
    return sound;
}

static void scan_folder(const std::string& folder, TableFiles& tables)
{
    std::vector<std::string> entries; // sorted, so that the messages come in a fixed order
    if (!list_folder(folder, entries)) {
        std::printf("info string Syzygy folder %s cannot be read\n", shown_text(folder).c_str());
        return;
    }
    std::sort(entries.begin(), entries.end());
    bool whole = true;
    for (const std::string& entry : entries) {
        const std::string name = library_name(entry);
        const bool wdl         = is_table_name(name, ".rtbw");
        if (!wdl && !is_table_name(name, ".rtbz")) {
            whole = whole && !is_table_name(name, ".rtbm"); // the library tries these too
            continue;
        }
        if (tables.paths.count(name)) {
            whole = false; // not checked, as the first folder's file is the one read
            continue;
        }
        const std::string path = folder + DIR_SEPARATOR + entry;
        if (is_sound_table(path, name, wdl ? WDL_MAGIC : DTZ_MAGIC)) {
            tables.paths[name] = path;
        } else {
            whole = false;
            std::printf(
                "info string Syzygy table %s is damaged or unreadable: not used\n", name.c_str());
        }
    }
    if (whole)
        tables.whole_folders.push_back(folder);
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

#ifdef _WIN32

// A new folder in the user's temporary folder (private to the user); "" when none can be made.
static std::wstring new_private_folder()
{
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH)
        return L"";
    const std::wstring stem = std::wstring(temp, length) + L"vantorel-syzygy-"
        + std::to_wstring(GetCurrentProcessId()) + L"-";
    // Never an existing folder: one left by a process that ended may carry the same number.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::wstring folder = stem + std::to_wstring(attempt);
        if (CreateDirectoryW(folder.c_str(), nullptr))
            return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    return L"";
}

// Hard links, as symbolic ones need rights that ordinary users lack. A hard link cannot reach
// another volume (nor exist on FAT), so a table that cannot be linked is read in its own folder,
// which the library is then given as it is: only when nothing else there can reach it.
std::string make_link_folder(const TableFiles& files, std::string& library_paths)
{
    const std::wstring folder = new_private_folder();
    library_paths             = folder.empty() ? "" : ansi_path(folder);
    if (library_paths.empty()) {
        if (!folder.empty())
            RemoveDirectoryW(folder.c_str());
        std::printf("info string Syzygy tables not loaded: no temporary folder\n");
        return "";
    }
    std::vector<std::string> given; // the whole folders handed over as they are
    for (const auto& [name, path] : files.paths) {
        const std::wstring link = folder + L"\\" + wide(name);
        if (CreateHardLinkW(link.c_str(), wide(path).c_str(), nullptr))
            continue;
        const std::string own = path.substr(0, path.size() - name.size() - 1);
        const auto& whole     = files.whole_folders;
        std::string full;
        if (std::find(whole.begin(), whole.end(), own) != whole.end()) {
            wchar_t absolute[MAX_PATH + 1];
            const DWORD length
                = GetFullPathNameW(wide(own).c_str(), MAX_PATH + 1, absolute, nullptr);
            if (length > 0 && length <= MAX_PATH)
                full = ansi_path(std::wstring(absolute, length));
        }
        if (full.empty())
            std::printf("info string Syzygy table %s cannot be linked: not used\n", name.c_str());
        else if (std::find(given.begin(), given.end(), full) == given.end())
            given.push_back(full);
    }
    for (const std::string& own : given)
        library_paths += PATH_SEPARATOR + own;
    return utf8(folder);
}

void remove_link_folder(std::string& folder)
{
    if (folder.empty())
        return;
    const std::wstring path = wide(folder);
    WIN32_FIND_DATAW entry;
    const HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do
            if (entry.cFileName[0] != L'.')
                DeleteFileW((path + L"\\" + entry.cFileName).c_str());
        while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
    folder.clear();
}

#else

std::string make_link_folder(const TableFiles& files, std::string& library_paths)
{
    const char* tmp     = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vantorel-syzygy-XXXXXX";
    library_paths.clear();
    if (!mkdtemp(pattern.data())) {
        std::printf("info string Syzygy tables not loaded: no temporary folder\n");
        return "";
    }
    for (const auto& [name, path] : files.paths) {
        char* target = realpath(path.c_str(), nullptr);
        if (target && symlink(target, (pattern + "/" + name).c_str()) != 0)
            std::printf("info string Syzygy table %s cannot be linked: not used\n", name.c_str());
        std::free(target);
    }
    library_paths = pattern;
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

#endif
