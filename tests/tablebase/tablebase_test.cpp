#include <gtest/gtest.h>

#include <algorithm>

#include "checks.h"
#include "tablebase/tablebase.h"

namespace {

// A random legal position of the kings and `material` (white upper case), half-move clock 0;
// with white to move, a black pawn that may just have made a double push gets its en-passant
// square. With `en_passant`, the material is a pawn a side and one of them has just pushed two
// squares to stand beside the other.
Board random_table_position(const std::string& material, std::uint64_t& rng, bool en_passant)
{
    for (;;) {
        std::string squares(64, '1');
        const bool white = xorshift(rng) % 2;
        std::string ep   = "-";
        int crossed      = 0; // the pushed pawn crossed it; the one behind is where it stood
        if (en_passant) {
            const int file   = static_cast<int>(xorshift(rng) % 8);
            const int beside = file == 0 ? 1 : file == 7 ? 6 : file + (xorshift(rng) % 2 ? 1 : -1);
            const int rank   = white ? 4 : 3;
            squares[8 * rank + file]   = white ? 'p' : 'P';
            squares[8 * rank + beside] = white ? 'P' : 'p';
            crossed                    = 8 * rank + file + (white ? 8 : -8);
            ep                         = std::string { char('a' + file), white ? '6' : '3' };
        }
        for (const char piece : "Kk" + (en_passant ? "" : material)) {
            int sq;
            do
                sq = static_cast<int>(xorshift(rng) % 64);
            while (squares[sq] != '1' || (std::tolower(piece) == 'p' && (sq < 8 || sq >= 56)));
            squares[sq] = piece;
        }
        if (en_passant && (squares[crossed] != '1' || squares[crossed + (white ? 8 : -8)] != '1'))
            continue;
        for (int sq = 32; sq < 40 && white && !en_passant; ++sq)
            if (squares[sq] == 'p' && squares[sq + 8] == '1' && squares[sq + 16] == '1')
                ep = std::string { char('a' + sq % 8), '6' };
        Board board;
        parse_fen(board, placement_fen(squares) + (white ? " w - " : " b - ") + ep + " 0 1");
        if (!in_check(board, board.side ^ 1))
            return board;
    }
}

// Without the fifty-move rule a position's result is the best of its moves' results: the
// tables, the board handed to them and the move matching must all agree for that to hold.
// And every move of the root's best rank keeps the root's result.
TEST(Tablebase, ResultsAgreeWithTheMovesAndTheRanking)
{
    test_engine();
    Tablebases tables {};
    tb_load(tables, TEST_DATA_DIR "/syzygy");
    ASSERT_EQ(tables.largest, 4);
    const TablebaseSettings settings { 4, 1, false };
    std::uint64_t rng = 5;
    int checked       = 0;
    int en_passant    = 0; // positions where it is legal
    using Kind        = std::pair<std::string, bool>; // material, a pawn just pushed beside another
    for (const auto& [material, just_pushed] :
        { Kind { "Qr", false }, Kind { "Rr", false }, Kind { "Q", false }, Kind { "R", false },
            Kind { "P", false }, Kind { "Pp", false }, Kind { "Pp", true } }) {
        for (int n = 0; n < 150; ++n) {
            Board board                 = random_table_position(material, rng, just_pushed);
            const TablebaseResult probe = tb_probe(board, settings);
            ASSERT_NE(probe, TB_FAILED) << mirrored_fen(board);
            MoveList legal;
            generate_legal_moves(board, legal);
            int best = legal.count == 0 && !in_check(board, board.side) ? TB_DRAW_RESULT
                                                                        : TB_LOSS_RESULT;
            int child_results[MAX_MOVES];
            bool complete = true;
            for (int i = 0; i < legal.count; ++i) {
                en_passant += move_flags(legal.moves[i]) == FLAG_EP_CAPTURE;
                Board child = board;
                make_move(child, legal.moves[i]);
                child.halfmove_clock         = 0;
                const TablebaseResult result = tb_probe(child, settings);
                complete                     = complete && result != TB_FAILED;
                child_results[i]             = -result;
                best                         = std::max(best, child_results[i]);
            }
            if (!complete)
                continue; // a promotion to a table the test data lacks
            ++checked;
            ASSERT_EQ(probe, best) << mirrored_fen(board);
            int ranks[MAX_MOVES], scores[MAX_MOVES];
            ASSERT_TRUE(
                tb_rank_root_moves(board, settings, legal.moves, legal.count, ranks, scores))
                << mirrored_fen(board);
            const int top = legal.count ? *std::max_element(ranks, ranks + legal.count) : 0;
            for (int i = 0; i < legal.count; ++i) {
                if (ranks[i] == top) {
                    ASSERT_EQ(child_results[i], probe) << mirrored_fen(board);
                }
            }
        }
    }
    EXPECT_GT(checked, 850);
    EXPECT_GT(en_passant, 100);
    tb_free(tables);
}

} // namespace
