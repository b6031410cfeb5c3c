// Every input of the fuzz corpora (seeds and the failures fuzzing has found) through its
// target, in the ordinary build: the targets' checks abort on a fault.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "fuzz_support.h"

extern "C" int uci_fuzz_init(int*, char***);
extern "C" int uci_fuzz_one(const std::uint8_t*, std::size_t);
extern "C" int fen_fuzz_init(int*, char***);
extern "C" int fen_fuzz_one(const std::uint8_t*, std::size_t);
extern "C" int book_fuzz_init(int*, char***);
extern "C" int book_fuzz_one(const std::uint8_t*, std::size_t);
extern "C" int tablebase_fuzz_init(int*, char***);
extern "C" int tablebase_fuzz_one(const std::uint8_t*, std::size_t);
extern "C" int network_fuzz_init(int*, char***);
extern "C" int network_fuzz_one(const std::uint8_t*, std::size_t);

namespace {

void replay(
    const char* name, int (*init)(int*, char***), int (*one)(const std::uint8_t*, std::size_t))
{
    std::vector<std::string> files;
    for (const auto& entry :
        std::filesystem::directory_iterator(std::string(FUZZ_CORPUS_DIR "/") + name))
        files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    init(nullptr, nullptr);
    for (const std::string& file : files) {
        const std::string bytes = read_file(file);
        one(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    release_stdout();
    EXPECT_GT(files.size(), 5u) << name;
}

TEST(FuzzReplay, Corpora)
{
    replay("uci", uci_fuzz_init, uci_fuzz_one);
    replay("fen", fen_fuzz_init, fen_fuzz_one);
    replay("book", book_fuzz_init, book_fuzz_one);
    replay("tablebase", tablebase_fuzz_init, tablebase_fuzz_one);
    replay("network", network_fuzz_init, network_fuzz_one);
}

} // namespace
