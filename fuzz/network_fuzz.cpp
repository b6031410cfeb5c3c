// network_fuzz: network files near the real one. The input edits the embedded network's bytes:
// its first byte chooses whether the file is also cut or lengthened (to the length in the next
// four bytes), and every following 6 bytes write a 16-bit value at an offset. A file is read
// exactly when it has the right magic, shape, king-bucket map, mirror flag and padding, the size
// they give and every weight within its bound, and a refused one leaves the network as it was;
// a read one evaluates positions without overflow (UBSan watches the sums), the same with the
// AVX2 and the portable kernels.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_support.h"

extern const unsigned char EMBEDDED_NETWORK[];
extern const std::size_t EMBEDDED_NETWORK_SIZE;

namespace {

const char* const FENS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "QQQQkQQQ/QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/8/8/8/K7 w - - 0 1",
    "8/8/4k3/8/8/2BN4/8/4K3 b - - 0 1",
};

std::int32_t little_endian(const std::uint8_t* at, int bytes)
{
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | at[i];
    return bytes == 2 ? static_cast<std::int16_t>(value) : static_cast<std::int32_t>(value);
}

// The file's rules, read straight from its bytes.
bool is_valid_network(const std::vector<std::uint8_t>& f)
{
    if (f.size() < NNUE_HEADER_SIZE || std::memcmp(f.data(), "VNN2", 4) != 0
        || little_endian(&f[4], 4) != NNUE_HIDDEN || little_endian(&f[12], 4) != NNUE_BUCKETS)
        return false;
    const std::int32_t kings = little_endian(&f[8], 4);
    if (kings < 1 || kings > NNUE_MAX_KING_BUCKETS || f[16] > 1 || f[17] || f[18] || f[19])
        return false;
    for (int sq = 0; sq < 64; ++sq)
        if (f[20 + sq] >= kings || (f[16] && sq % 8 < 4 && f[20 + sq]))
            return false;
    const std::size_t out_at
        = NNUE_HEADER_SIZE + 2 * (kings * NNUE_INPUTS + 1) * std::size_t(NNUE_HIDDEN);
    const std::size_t bias_at = out_at + 2 * std::size_t(NNUE_BUCKETS) * 2 * NNUE_HIDDEN;
    if (f.size() != bias_at + 4 * NNUE_BUCKETS)
        return false;
    for (std::size_t at = NNUE_HEADER_SIZE; at < bias_at; at += 2) {
        const int limit = at < out_at ? NNUE_FT_LIMIT : NNUE_OUT_LIMIT;
        if (std::abs(little_endian(&f[at], 2)) > limit)
            return false;
    }
    for (std::size_t at = bias_at; at < f.size(); at += 4)
        if (std::abs(static_cast<std::int64_t>(little_endian(&f[at], 4))) > NNUE_BIAS_LIMIT)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    test_engine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > 4096)
        return -1;
    std::vector<std::uint8_t> file(EMBEDDED_NETWORK, EMBEDDED_NETWORK + EMBEDDED_NETWORK_SIZE);
    std::size_t at = 1;
    if (data[0] & 1 && size >= 5) {
        file.resize(static_cast<std::uint32_t>(little_endian(data + 1, 4)) % (file.size() + 64));
        at = 5;
    }
    for (; at + 6 <= size && !file.empty(); at += 6) {
        const std::size_t offset
            = static_cast<std::uint32_t>(little_endian(data + at, 4)) % file.size();
        file[offset] = data[at + 4];
        if (offset + 1 < file.size())
            file[offset + 1] = data[at + 5];
    }

    static const auto network = std::make_unique<Network>(), before = std::make_unique<Network>();
    *network        = test_engine().network;
    *before         = *network;
    const bool read = read_network(*network, file.data(), file.size()) == nullptr;
    if (read != is_valid_network(file))
        fuzz_fail(read ? "a file that breaks the rules was read" : "a sound file was refused");
    if (!read) {
        if (std::memcmp(network.get(), before.get(), sizeof(Network)) != 0)
            fuzz_fail("a refused file changed the network");
        return 0;
    }
    for (const char* fen : FENS) {
        const Board board = board_from_fen(fen);
        use_avx2_kernels(false);
        const int portable = network_output(board, *network);
        use_avx2_kernels(true);
        if (network_output(board, *network) != portable)
            fuzz_fail("the kernels disagree on", fen);
    }
    return 0;
}
