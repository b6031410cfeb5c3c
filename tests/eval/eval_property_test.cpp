// Invariants of the evaluation over positions reached by random legal play.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "eval/eval.h"
#include "eval/psq.h"
#include "eval/terms.h"
#include "movegen/movegen.h"
#include "support.h"

namespace {

const char* const START_POSITIONS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
};

struct Rng {
    std::uint64_t state;
    std::uint32_t next(std::uint32_t bound)
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<std::uint32_t>(state % bound);
    }
};

// Ranks flipped, colours swapped, side to move, castling and en passant mirrored.
std::string mirrored_fen(const Board& board)
{
    static const char LETTERS[] = "PNBRQKpnbrqk";
    std::string fen;
    for (int rank = 0; rank < 8; ++rank) { // the mirror's rank 8 is our rank 1
        int empty = 0;
        for (int file = 0; file < 8; ++file) {
            const int piece = board.squares[make_square(file, rank)];
            if (piece == EMPTY) {
                ++empty;
                continue;
            }
            if (empty)
                fen += static_cast<char>('0' + empty);
            empty = 0;
            fen += LETTERS[(piece + 6) % 12];
        }
        if (empty)
            fen += static_cast<char>('0' + empty);
        if (rank < 7)
            fen += '/';
    }
    fen += board.side == WHITE ? " b " : " w ";
    std::string rights;
    if (board.castling & CASTLE_BK)
        rights += 'K';
    if (board.castling & CASTLE_BQ)
        rights += 'Q';
    if (board.castling & CASTLE_WK)
        rights += 'k';
    if (board.castling & CASTLE_WQ)
        rights += 'q';
    fen += rights.empty() ? "-" : rights;
    if (board.ep_square == NO_SQUARE) {
        fen += " -";
    } else {
        const int ep = board.ep_square ^ 56;
        fen += ' ';
        fen += static_cast<char>('a' + file_of(ep));
        fen += static_cast<char>('1' + rank_of(ep));
    }
    fen += " 0 1";
    return fen;
}

void select_style(int style)
{
    eval_style = style;
    init_eval_tables();
}

// Plays random legal games from each start position and calls `check` on every position.
template <typename Check> void for_random_positions(int games, int plies, Check check)
{
    static Board board;
    Rng rng { 0x9E3779B97F4A7C15ULL };
    MoveList list;
    for (const char* fen : START_POSITIONS) {
        for (int game = 0; game < games; ++game) {
            init_core_tables();
            parse_fen(board, fen);
            check(board, NO_MOVE);
            for (int ply = 0; ply < plies; ++ply) {
                generate_legal_moves(board, list);
                if (list.count == 0)
                    break;
                const Move move = list.moves[rng.next(static_cast<std::uint32_t>(list.count))];
                make_move(board, move);
                check(board, move);
            }
        }
    }
}

} // namespace

TEST(EvalProperty, MirroredPositionNegatesTheSum)
{
    select_style(STYLE_PESTO);
    static Board mirror;
    int checked = 0;
    for_random_positions(6, 90, [&](const Board& board, Move) {
        const std::string fen = mirrored_fen(board);
        ASSERT_TRUE(parse_fen(mirror, fen)) << fen;
        // With two queens a side, only the lowest one is examined for safe checks, and the
        // lowest square differs between a position and its mirror.
        if (popcount(board.pieces[make_piece(WHITE, QUEEN)]) <= 1
            && popcount(board.pieces[make_piece(BLACK, QUEEN)]) <= 1) {
            EXPECT_LE(std::abs(evaluate(mirror) - evaluate(board)), 1) << fen;
            EXPECT_EQ(evaluate_terms(mirror), 0u - evaluate_terms(board)) << fen;
            EXPECT_EQ(king_danger(mirror, WHITE), king_danger(board, BLACK)) << fen;
            ++checked;
        }
    });
    EXPECT_GT(checked, 2000);
}

TEST(EvalProperty, IncrementalPsqScoreMatchesFromScratchInBothStyles)
{
    for (int style : { STYLE_PESTO, STYLE_LINEAR }) {
        select_style(style);
        for_random_positions(2, 80, [](Board& board, Move move) {
            ASSERT_EQ(board.psq_score, compute_psq_score(board));
            if (move == NO_MOVE)
                return;
            unmake_move(board, move);
            ASSERT_EQ(board.psq_score, compute_psq_score(board));
            make_move(board, move);
        });
    }
    select_style(STYLE_PESTO);
}

TEST(EvalProperty, CachedPawnScoreMatchesFreshOne)
{
    for_random_positions(3, 80, [](const Board& board, Move) {
        const Score fresh = compute_pawn_score(board);
        ASSERT_EQ(evaluate_pawns(board), fresh);
        ASSERT_EQ(evaluate_pawns(board), fresh); // second call comes from the cache
        const PawnEntry& slot = pawn_hash_table[board.pawn_hash & (PAWN_HASH_SIZE - 1)];
        ASSERT_EQ(slot.key, board.pawn_hash);
    });
}
