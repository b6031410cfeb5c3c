#include <gtest/gtest.h>

#include "checks.h"
#include "eval/training_data.h"

namespace {

TEST(EvalTrainingData, RecordsGiveBackTheirPositions)
{
    std::uint64_t seed = 11;
    walk_random_games(21, 20, 120, [&](Board& board) {
        const int score        = static_cast<int>(xorshift(seed) % 4001) - 2000;
        const GameResult given = static_cast<GameResult>(xorshift(seed) % 3);
        TrainingRecord record;
        ASSERT_TRUE(pack_training_record(board, score, given, record));
        static TrainingPosition back;
        ASSERT_TRUE(unpack_training_record(record, back));
        EXPECT_EQ(std::memcmp(back.board.squares, board.squares, sizeof board.squares), 0);
        EXPECT_EQ(back.board.side, board.side);
        EXPECT_EQ(back.board.halfmove_clock, board.halfmove_clock);
        EXPECT_EQ(back.board.fullmove_number, board.fullmove_number);
        EXPECT_EQ(back.score, score);
        EXPECT_EQ(back.result, given);
        // What no packer writes is refused: a 13th piece code, a fourth result.
        TrainingRecord bad = record;
        std::uint8_t& two  = bad.bytes[8 + xorshift(seed) % (popcount(board.occupied) / 2)];
        two                = static_cast<std::uint8_t>((two & 0x0F) | 0xC0);
        EXPECT_FALSE(unpack_training_record(bad, back));
        set_training_result(bad = record, static_cast<GameResult>(3));
        EXPECT_FALSE(unpack_training_record(bad, back));
    });
    TrainingRecord record;
    EXPECT_FALSE(pack_training_record(
        board_from_fen("qqqqqqqq/qqqqqqqq/qqqqqqqq/qqqqqqqk/QQQQQQQK/8/8/8 w - - 0 1"), 0,
        RESULT_DRAW, record));
    static TrainingPosition back;
    EXPECT_FALSE(unpack_training_record(TrainingRecord {}, back)); // no kings
}

// Self-play through the real executable writes only quiet, legal positions that read back,
// and a clearly winning score goes with a won game far more often than with a lost one. Two
// threads of one run write what two runs of one thread write: nothing else is shared. The
// closing tally counts the games, positions and results that the file holds (for seed 10:
// four won by White, one by Black).
TEST(EvalTrainingData, SelfPlayWritesReadableQuietPositions)
{
    test_engine();
    char folder[] = "/tmp/vantorel-selfplay-XXXXXX"; // its own, as test runs may overlap
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/data.bin";
    const std::string log  = path + ".log";
    const auto datagen     = [&](const std::string& words) {
        return std::system(
                (std::string(VANTOREL_EXE) + " datagen " + words + " >/dev/null 2>" + log).c_str());
    };
    ASSERT_EQ(datagen(path + " games 5 nodes 400 seed 9 threads 2"), 0);
    ASSERT_EQ(datagen(path + " games 5 nodes 400 seed 10"), 0);
    EXPECT_EQ(read_file(path + ".1"), read_file(path));
    const std::string bytes = read_file(path); // the run whose tally the log holds
    ASSERT_GT(bytes.size(), 0u);
    ASSERT_EQ(bytes.size() % TRAINING_RECORD_BYTES, 0u);
    int agree = 0, contradict = 0, last_move = 0;
    long long games = 0, white_results[3] = {};
    for (std::size_t at = 0; at < bytes.size(); at += TRAINING_RECORD_BYTES) {
        TrainingRecord record;
        std::memcpy(record.bytes, bytes.data() + at, TRAINING_RECORD_BYTES);
        static TrainingPosition position;
        ASSERT_TRUE(unpack_training_record(record, position));
        EXPECT_FALSE(in_check(position.board, WHITE) || in_check(position.board, BLACK));
        if (position.board.fullmove_number < last_move || at == 0) { // a game's first record
            ++games;
            ++white_results[position.board.side == WHITE ? position.result : 2 - position.result];
        }
        last_move         = position.board.fullmove_number;
        const int sign    = position.score >= 500 ? 1 : position.score <= -500 ? -1 : 0;
        const int outcome = position.result == RESULT_WIN ? 1
            : position.result == RESULT_LOSS              ? -1
                                                          : 0;
        agree += sign != 0 && outcome == sign;
        contradict += sign != 0 && outcome == -sign;
    }
    EXPECT_GT(agree, 10);
    EXPECT_LT(contradict, agree / 4);
    long long tally[5]        = {};
    const std::string printed = read_file(log);
    ASSERT_NE(printed.rfind("games "), std::string::npos);
    ASSERT_EQ(std::sscanf(printed.c_str() + printed.rfind("games "),
                  "games %lld positions %lld (+%lld =%lld -%lld)", &tally[0], &tally[1], &tally[2],
                  &tally[3], &tally[4]),
        5);
    const long long in_file[5]
        = { games, static_cast<long long>(bytes.size()) / TRAINING_RECORD_BYTES,
              white_results[RESULT_WIN], white_results[RESULT_DRAW], white_results[RESULT_LOSS] };
    EXPECT_EQ(
        std::vector<long long>(tally, tally + 5), std::vector<long long>(in_file, in_file + 5));
    EXPECT_EQ(games, 5);
    EXPECT_EQ(
        std::system((std::string(VANTOREL_EXE) + " datastats " + path + " >/dev/null").c_str()), 0);
    for (const char* suffix : { ".0", ".1", "", ".log" })
        std::remove((path + suffix).c_str());
    rmdir(folder);
}

} // namespace
