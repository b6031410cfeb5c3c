// tablebase_fuzz: any bytes as a Syzygy table file. The first byte picks which table the rest
// stands for (the others of its material are sound copies); the tables are loaded and probed on
// random positions of that material, in the search's way and the root's. Loading must say
// what it found and never fail; a damaged file is never read: each probe answers as the sound
// tables do, or fails, and leaves the position as it was.
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "tablebase/tablebase.h"

namespace {

struct FuzzedTable {
    const char* file; // the file the input stands for
    const char* sound; // its partner of the other kind, copied from the test data
    const char* white; // the material, kings left out
    const char* black;
};
const FuzzedTable TABLES[] = {
    { "KRvK.rtbw", "KRvK.rtbz", "R", "" },
    { "KRvK.rtbz", "KRvK.rtbw", "R", "" },
    { "KPvK.rtbw", "KPvK.rtbz", "P", "" },
    { "KPvK.rtbz", "KPvK.rtbw", "P", "" },
    { "KRvKR.rtbw", "KRvKR.rtbz", "R", "r" },
    { "KQvK.rtbz", "KQvK.rtbw", "Q", "" },
};
constexpr int TABLE_COUNT = sizeof TABLES / sizeof TABLES[0];
constexpr int POSITIONS   = 48;

std::string folder;
Board positions[TABLE_COUNT][POSITIONS];
// What the sound tables answer for each position: the result, and the root moves' scores
// (whether each keeps a win, a draw or a loss), or no ranking.
struct Answer {
    TablebaseResult result;
    bool ranked;
    int scores[MAX_MOVES];
};
Answer sound_answers[TABLE_COUNT][POSITIONS];

void write_file(const std::string& path, const void* data, std::size_t size)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
        fuzz_fail("cannot write a table file", path);
}

// A legal position with the kings and this material, the side not to move not in check.
Board random_position(const FuzzedTable& table, std::uint64_t& seed)
{
    for (;;) {
        std::string squares(64, '1');
        for (const char piece : std::string("Kk") + table.white + table.black) {
            int sq;
            do {
                seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
                sq   = static_cast<int>(seed >> 58);
            } while (squares[sq] != '1' || (std::tolower(piece) == 'p' && (sq < 8 || sq >= 56)));
            squares[sq] = piece;
        }
        Board board;
        parse_fen(board, placement_fen(squares) + ((seed >> 40) & 1 ? " b - - 0 1" : " w - - 0 1"));
        if (!in_check(board, board.side ^ 1))
            return board;
    }
}

Tablebases tables;

Answer answer(const Board& board, const TablebaseSettings& settings)
{
    Answer a {};
    a.result = tb_probe(board, settings);
    MoveList legal;
    generate_legal_moves(board, legal);
    int ranks[MAX_MOVES];
    a.ranked = tb_rank_root_moves(board, settings, legal.moves, legal.count, ranks, a.scores);
    return a;
}

void probe_all(int table, int pieces)
{
    const TablebaseSettings settings { pieces, 1, true };
    for (int i = 0; i < POSITIONS; ++i) {
        const Board& board  = positions[table][i];
        const Board before  = board;
        const Answer got    = answer(board, settings);
        const Answer& sound = sound_answers[table][i];
        if (got.result != TB_FAILED && got.result != sound.result)
            fuzz_fail("a probe answered what the sound tables do not", mirrored_fen(board));
        MoveList legal;
        generate_legal_moves(board, legal);
        if (got.ranked
            && (!sound.ranked || !std::equal(got.scores, got.scores + legal.count, sound.scores)))
            fuzz_fail("a root ranking differs from the sound tables'", mirrored_fen(board));
        if (!same_board(before, board))
            fuzz_fail("a probe changed the position");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    test_engine();
    capture_stdout();
    char name[] = "/tmp/vantorel-tablebase-fuzz-XXXXXX";
    if (!mkdtemp(name))
        fuzz_fail("cannot make the table folder");
    folder             = name;
    std::uint64_t seed = 1;
    for (int t = 0; t < TABLE_COUNT; ++t)
        for (Board& board : positions[t])
            board = random_position(TABLES[t], seed);
    tb_load(tables, TEST_DATA_DIR "/syzygy");
    for (int t = 0; t < TABLE_COUNT; ++t)
        for (int i = 0; i < POSITIONS; ++i)
            sound_answers[t][i] = answer(positions[t][i], { tables.largest, 1, true });
    tb_free(tables);
    take_output();
    std::atexit([] {
        for (const FuzzedTable& table : TABLES) {
            std::remove((folder + "/" + table.file).c_str());
            std::remove((folder + "/" + table.sound).c_str());
        }
        std::remove(folder.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > 64 * 1024)
        return -1;
    const int table = data[0] % TABLE_COUNT;
    for (const FuzzedTable& t : TABLES) {
        std::remove((folder + "/" + t.file).c_str());
        std::remove((folder + "/" + t.sound).c_str());
    }
    const std::string sound
        = read_file(std::string(TEST_DATA_DIR "/syzygy/") + TABLES[table].sound);
    write_file(folder + "/" + TABLES[table].sound, sound.data(), sound.size());
    write_file(folder + "/" + TABLES[table].file, data + 1, size - 1);
    tb_load(tables, folder);
    if (take_output().find("info string Syzygy tables found: ") == std::string::npos)
        fuzz_fail("loading the tables said nothing");
    probe_all(table, tables.largest);
    tb_free(tables);
    return 0;
}
