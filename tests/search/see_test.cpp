#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "movegen/attacks.h"
#include "movegen/movegen.h"
#include "search/see.h"
#include "support.h"

namespace {

int sq(const char* name) { return make_square(name[0] - 'a', name[1] - '1'); }

Move mv(const char* from, const char* to, int flags)
{
    return make_move_word(sq(from), sq(to), flags);
}

int see_of(const std::string& fen, const char* from, const char* to, int flags)
{
    const Board board = board_from_fen(fen);
    return see(board, mv(from, to, flags));
}

TEST(See, WorkedExchanges)
{
    // Pawn takes an undefended knight; then the same knight defended by a pawn.
    EXPECT_EQ(see_of("4k3/8/8/3n4/4P3/8/8/4K3 w - - 0 1", "e4", "d5", FLAG_CAPTURE), 300);
    EXPECT_EQ(see_of("4k3/8/2p5/3n4/4P3/8/8/4K3 w - - 0 1", "e4", "d5", FLAG_CAPTURE), 200);
    // Queen takes a pawn defended by a pawn.
    EXPECT_EQ(see_of("4k3/8/2p5/3p4/8/8/3Q4/4K3 w - - 0 1", "d2", "d5", FLAG_CAPTURE), -800);
    // Rook takes a rook defended once, with a second own rook behind: RxR, RxR, RxR.
    EXPECT_EQ(see_of("3r2k1/3r4/8/8/8/8/3R4/3R2K1 w - - 0 1", "d2", "d7", FLAG_CAPTURE), 500);
    EXPECT_EQ(see_of("3r2k1/3r4/8/8/8/8/3R4/6K1 w - - 0 1", "d2", "d7", FLAG_CAPTURE), 0);
    // A king taking a pawn that a rook defends.
    EXPECT_EQ(see_of("3rk3/8/8/8/8/8/3p4/4K3 w - - 0 1", "e1", "d2", FLAG_CAPTURE), 100 - 20000);
    // Black to move: the roles turn round.
    EXPECT_EQ(see_of("4k3/8/8/3p4/4N3/5P2/8/4K3 b - - 0 1", "d5", "e4", FLAG_CAPTURE), 200);
}

TEST(See, XRaysBehindTheDefenders)
{
    // BxN, RxB, RxR and then the rook hidden on d8 recaptures: nothing gained.
    EXPECT_EQ(see_of("3r2k1/3r4/8/3n4/2B5/8/3R4/6K1 w - - 0 1", "c4", "d5", FLAG_CAPTURE), 0);
    // The capturing bishop uncovers the queen behind it: BxP, PxB, QxP.
    EXPECT_EQ(see_of("6k1/8/4p3/3p4/2B5/1Q6/8/6K1 w - - 0 1", "c4", "d5", FLAG_CAPTURE), -100);
    EXPECT_EQ(see_of("6k1/8/8/3p4/2B5/1Q6/8/6K1 w - - 0 1", "c4", "d5", FLAG_CAPTURE), 100);
    // Least valuable attacker first: the pawn recaptures before the queen, and white stops
    // before QxR would cost the second rook.
    EXPECT_EQ(see_of("3qk3/8/4p3/3r4/8/8/3R4/3RK3 w - - 0 1", "d2", "d5", FLAG_CAPTURE), 0);
}

TEST(See, PromotionsAndEnPassant)
{
    // A quiet promotion onto a free square: the empty square counts as a pawn.
    EXPECT_EQ(see_of("4k3/P7/8/8/8/8/8/4K3 w - - 0 1", "a7", "a8", 11), 100);
    // The same square attacked by a knight and not defended.
    EXPECT_EQ(see_of("4k3/P7/1n6/8/8/8/8/4K3 w - - 0 1", "a7", "a8", 11), 0);
    // A capturing promotion onto a rook; the promoting pawn is valued as a pawn.
    EXPECT_EQ(see_of("1r2k3/P7/8/8/8/8/8/4K3 w - - 0 1", "a7", "b8", 15), 500);
    // En passant: the victim is a pawn although d6 is empty.
    EXPECT_EQ(see_of("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "e5", "d6", FLAG_EP_CAPTURE), 100);
    EXPECT_EQ(see_of("4k3/2p5/8/3pP3/8/8/8/4K3 w - d6 0 1", "e5", "d6", FLAG_EP_CAPTURE), 0);
}

// An independent statement of the exchange: each side captures with its least valuable
// attacker (lowest square among equals) or stops, attackers recomputed from scratch.
int reference_gain(const Board& board, int to, Bitboard occ, int side, int piece_on_square)
{
    for (int type = PAWN; type <= KING; ++type)
        for (Bitboard own = board.pieces[make_piece(side, type)] & occ; own;) {
            const int from = pop_lsb(own);
            if (attacks_of(type, from, side, occ) & square_bb(to)) {
                const int rest  = reference_gain(board, to, occ & ~square_bb(from), side ^ 1, type);
                const int value = see_values[piece_on_square] - rest;
                return value > 0 ? value : 0;
            }
        }
    return 0;
}

int reference_see(const Board& board, Move move)
{
    const int from     = move_from(move);
    const int to       = move_to(move);
    const int victim   = move_flags(move) == FLAG_EP_CAPTURE ? PAWN : board.squares[to] % 6;
    const Bitboard occ = board.occupied & ~square_bb(from);
    return see_values[victim]
        - reference_gain(board, to, occ, board.side ^ 1, board.squares[from] % 6);
}

TEST(See, AgreesWithAPlainMinimaxOverRandomGames)
{
    init_core_tables();
    const char* starts[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    };
    std::uint64_t rng = 0x2545F4914F6CDD1DULL;
    int checked       = 0;
    for (const char* fen : starts) {
        for (int game = 0; game < 6; ++game) {
            Board board = board_from_fen(fen);
            for (int ply = 0; ply < 80; ++ply) {
                MoveList captures;
                generate_captures(board, captures);
                for (int i = 0; i < captures.count; ++i, ++checked)
                    ASSERT_EQ(
                        see(board, captures.moves[i]), reference_see(board, captures.moves[i]))
                        << fen << " game " << game << " ply " << ply << " move "
                        << move_to_uci(captures.moves[i]).str;
                MoveList legal;
                generate_legal_moves(board, legal);
                if (legal.count == 0)
                    break;
                rng ^= rng << 13;
                rng ^= rng >> 7;
                rng ^= rng << 17;
                make_move(board, legal.moves[rng % legal.count]);
            }
        }
    }
    EXPECT_GT(checked, 1000);
}

TEST(See, HostileBoardsStayInBounds)
{
    // Every square taken: the exchange runs as long as pieces remain, without a king.
    Board board = board_from_fen("qqqqqqqq/QQQQQQQQ/qqqqqqqq/QQQQQQQQ/qqqqqqqq/QQQQQQQQ/"
                                 "qqqqqqqq/QQQQQQQQ w - - 0 1");
    for (int from = 0; from < 64; ++from)
        for (int to : { 27, 36, 0, 63 }) {
            const int value = see(board, make_move_word(from, to, FLAG_CAPTURE));
            EXPECT_GE(value, -20000);
            EXPECT_LE(value, 20000);
        }
    // Garbage piece codes on the from- and to-squares never index outside the value table.
    board.squares[sq("d4")] = 99;
    board.squares[sq("e5")] = -7;
    EXPECT_GE(see(board, mv("d4", "e5", FLAG_CAPTURE)), -20000);
    EXPECT_GE(see(board, mv("e5", "d4", FLAG_CAPTURE)), -20000);
    board.side = 7;
    EXPECT_LE(see(board, mv("e5", "d4", FLAG_CAPTURE)), 20000);
}

} // namespace
