#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <random>

#include "board/zobrist.h"
#include "movegen/movegen.h"
#include "support.h"

namespace {

// Equal positions, state and live history; records above undo_count are scratch.
bool same_board(const Board& a, const Board& b)
{
    const std::size_t live = offsetof(Board, undo_stack) + sizeof(UndoRecord) * a.undo_count;
    return a.undo_count == b.undo_count && std::memcmp(&a, &b, live) == 0;
}

std::string captured_stdout(const std::function<void()>& body)
{
    testing::internal::CaptureStdout();
    body();
    return testing::internal::GetCapturedStdout();
}

TEST(Zobrist, KeysAreDrawnInTheFixedOrder)
{
    init_core_tables();
    // The first key is one xorshift64 (13, 7, 17) step from the seed.
    std::uint64_t state = 0x246C7B3A9E5F1D28ULL;
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    EXPECT_EQ(zobrist_piece[0][0], state);
    const Board start = board_from_fen(START_FEN);
    EXPECT_EQ(start.hash, 0xe2adaad23b96d882ULL);
}

TEST(Fen, StartPositionFields)
{
    const Board b = board_from_fen(START_FEN);
    EXPECT_EQ(b.castling, 15);
    EXPECT_EQ(b.ep_square, NO_SQUARE);
    EXPECT_EQ(b.undo_count, 0);
    EXPECT_EQ(b.side, WHITE);
    EXPECT_EQ(b.fullmove_number, 1);
    EXPECT_EQ(b.squares[4], make_piece(WHITE, KING));
    EXPECT_EQ(b.squares[59], make_piece(BLACK, QUEEN));
    EXPECT_TRUE(board_is_consistent(b));
}

TEST(Fen, PrintStartPosition)
{
    const Board b = board_from_fen(START_FEN);
    const std::string expected
        = "\n  +---+---+---+---+---+---+---+---+\n"
          "8 | r | n | b | q | k | b | n | r |\n"
          "  +---+---+---+---+---+---+---+---+\n"
          "7 | p | p | p | p | p | p | p | p |\n"
          "  +---+---+---+---+---+---+---+---+\n"
          "6 | . | . | . | . | . | . | . | . |\n"
          "  +---+---+---+---+---+---+---+---+\n"
          "5 | . | . | . | . | . | . | . | . |\n"
          "  +---+---+---+---+---+---+---+---+\n"
          "4 | . | . | . | . | . | . | . | . |\n"
          "  +---+---+---+---+---+---+---+---+\n"
          "3 | . | . | . | . | . | . | . | . |\n"
          "  +---+---+---+---+---+---+---+---+\n"
          "2 | P | P | P | P | P | P | P | P |\n"
          "  +---+---+---+---+---+---+---+---+\n"
          "1 | R | N | B | Q | K | B | N | R |\n"
          "  +---+---+---+---+---+---+---+---+\n"
          "    a   b   c   d   e   f   g   h\n"
          "\nSide: white\nCastling: KQkq\n50-move: 0, Hash: e2adaad23b96d882\n";
    EXPECT_EQ(captured_stdout([&] { print_board(b); }), expected);
}

TEST(Fen, EmptyBoardAndEnPassantLines)
{
    const Board empty      = board_from_fen("8/8/8/8/8/8/8/8 w - - 0 1");
    const std::string text = captured_stdout([&] { print_board(empty); });
    EXPECT_NE(text.find("\nCastling: \n"), std::string::npos);
    EXPECT_EQ(
        text.substr(0, text.find("    a   b")).find_first_of("PNBRQKpnbrqk"), std::string::npos);
    EXPECT_EQ(empty.hash, zobrist_castling[0]);

    const Board ep = board_from_fen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    EXPECT_EQ(ep.ep_square, 20);
    EXPECT_NE(
        captured_stdout([&] { print_board(ep); }).find("\nEP square: e3\n"), std::string::npos);
}

TEST(Fen, MissingAndOddFields)
{
    Board b = board_from_fen("4k3/8/8/8/8/8/8/4K3 b");
    EXPECT_EQ(b.side, BLACK);
    EXPECT_EQ(b.halfmove_clock, 0);
    EXPECT_EQ(b.fullmove_number, 1);
    b = board_from_fen("4k3/8/8/8/8/8/8/4K3 w - - 7 0");
    EXPECT_EQ(b.halfmove_clock, 7);
    EXPECT_EQ(b.fullmove_number, 0);
    // Two spaces: the second one is read as the side letter, so the side is White.
    b = board_from_fen("4k3/8/8/8/8/8/8/4K3  b - - 0 1");
    EXPECT_EQ(b.side, WHITE);
    // Reading stops at the space after the full-move field.
    b = board_from_fen("4k3/8/8/8/8/8/8/4K3 w - - 3 9 moves e1e2");
    EXPECT_EQ(b.fullmove_number, 9);
    EXPECT_TRUE(board_is_consistent(b));
}

TEST(Fen, HostileInputStaysInsideTheBoard)
{
    const char* fens[] = {
        "rnbqkbnrr/pppppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "8/8/8/8/8/8/8/8/8/8/8/KQ w - - 0 1",
        "9/8/8/8/8/8/8/8 w - - 0 1",
        "kkkkkkkk/KKKKKKKK/QQQQQQQQ/qqqqqqqq/PPPPPPPP/pppppppp/NNNNNNNN/nnnnnnnn w KQkq a3 0 1",
        "4k3/8/8/8/8/8/8/4K3 w - - 99999999999999999999 99999999999999999999",
        "4k3/8/8/8/8/8/8/4K3 w - z9 -5x 1",
        "",
        "/",
        "x",
        "4k3/8/8/8/8/8/8/4K3 w KQkq e6 0 1",
    };
    for (const char* fen : fens) {
        const Board b = board_from_fen(fen);
        EXPECT_TRUE(board_is_consistent(b)) << fen;
        EXPECT_GE(b.ep_square, 0) << fen;
        EXPECT_LE(b.ep_square, NO_SQUARE) << fen;
    }
    Board b;
    EXPECT_FALSE(parse_fen(b, "rnbqkbnr/pp9"));
    EXPECT_EQ(b.side, WHITE);
    EXPECT_EQ(b.hash, compute_hash(b));
    EXPECT_TRUE(board_is_consistent(b));
}

TEST(Fen, UnsupportedRightsAndEnPassantAreDropped)
{
    // No king on e1 or e8: castling would move pieces that are not there.
    Board b = board_from_fen("8/8/8/4k3/8/8/8/R3K3 w KQkq - 0 1");
    EXPECT_EQ(b.castling, CASTLE_WQ);
    // An en-passant square without the pawn that made the double push.
    b = board_from_fen("4k3/8/8/8/8/8/8/4K3 w - e6 0 1");
    EXPECT_EQ(b.ep_square, NO_SQUARE);
    EXPECT_EQ(b.hash, compute_hash(b));
    // A double push is kept even when no pawn can capture.
    b = board_from_fen("4k3/8/8/4p3/8/8/8/4K3 w - e6 0 1");
    EXPECT_EQ(b.ep_square, 44);
}

TEST(MakeMove, DoublePushAndEnPassantKeys)
{
    Board b            = board_from_fen(START_FEN);
    const Board before = b;
    const Move e2e4    = make_move_word(12, 28, FLAG_DOUBLE_PUSH);
    make_move(b, e2e4);
    EXPECT_EQ(b.ep_square, 20);
    EXPECT_EQ(b.halfmove_clock, 0);
    EXPECT_EQ(b.fullmove_number, 1);
    EXPECT_EQ(b.castling, 15);
    const Board after_e4
        = board_from_fen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    EXPECT_EQ(b.hash, after_e4.hash);
    EXPECT_EQ(b.hash, 0x9920ca2c579d60a6ULL);
    EXPECT_EQ(b.pawn_hash, after_e4.pawn_hash);
    make_move(b, make_move_word(52, 36, FLAG_DOUBLE_PUSH));
    const Board after_e5
        = board_from_fen("rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2");
    EXPECT_EQ(b.hash, after_e5.hash);
    EXPECT_EQ(b.fullmove_number, 2);
    unmake_move(b, make_move_word(52, 36, FLAG_DOUBLE_PUSH));
    unmake_move(b, e2e4);
    EXPECT_TRUE(same_board(b, before));
}

TEST(MakeMove, CastlingRightsFollowTheHomeSquares)
{
    Board b = board_from_fen("r3k2r/1P6/8/8/8/8/8/R3K2R w KQkq - 0 1");
    // Promotion capturing the rook on a8 stores ROOK and removes the black queen-side right.
    const Move capture_a8 = make_move_word(49, 56, FLAG_PROMOTION + FLAG_CAPTURE + 3);
    make_move(b, capture_a8);
    EXPECT_EQ(b.undo_stack[0].captured, ROOK);
    EXPECT_EQ(b.castling, CASTLE_WK | CASTLE_WQ | CASTLE_BK);
    EXPECT_TRUE(board_is_consistent(b));
    unmake_move(b, capture_a8);
    // A king move that is not castling removes both rights of its side.
    make_move(b, make_move_word(4, 12, FLAG_QUIET));
    EXPECT_EQ(b.castling, CASTLE_BK | CASTLE_BQ);
}

TEST(MakeMove, EnPassantRestoresTheCapturedPawn)
{
    Board b            = board_from_fen("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
    const Board before = b;
    const Move ep      = make_move_word(36, 43, FLAG_EP_CAPTURE);
    make_move(b, ep);
    EXPECT_EQ(b.squares[35], EMPTY);
    EXPECT_TRUE(board_is_consistent(b));
    unmake_move(b, ep);
    EXPECT_TRUE(same_board(b, before));
}

// Random games: every make/unmake pair restores the board bit for bit, and the incremental
// keys and score equal their from-scratch values after every move.
TEST(MakeMove, RandomGamesKeepEveryInvariant)
{
    std::mt19937 rng(12345);
    for (const char* fen :
        { START_FEN, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
            "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
            "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1" }) {
        for (int game = 0; game < 20; ++game) {
            Board b = board_from_fen(fen);
            for (int ply = 0; ply < 200; ++ply) {
                MoveList pseudo;
                generate_moves(b, pseudo);
                for (int i = 0; i < pseudo.count; ++i) {
                    Board copy = b;
                    make_move(copy, pseudo.moves[i]);
                    ASSERT_TRUE(board_is_consistent(copy)) << move_to_uci(pseudo.moves[i]).str;
                    unmake_move(copy, pseudo.moves[i]);
                    ASSERT_TRUE(same_board(copy, b));
                }
                MoveList legal;
                generate_legal_moves(b, legal);
                if (legal.count == 0)
                    break;
                make_move(b, legal.moves[rng() % legal.count]);
            }
        }
    }
}

TEST(MakeMove, NullMoveRestoresEverything)
{
    Board b = board_from_fen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    const Board before = b;
    make_null_move(b);
    EXPECT_EQ(b.side, WHITE);
    EXPECT_EQ(b.ep_square, NO_SQUARE);
    EXPECT_EQ(b.hash, compute_hash(b));
    unmake_null_move(b);
    EXPECT_TRUE(same_board(b, before));
}

TEST(MoveText, UciNotation)
{
    EXPECT_STREQ(move_to_uci(make_move_word(52, 60, FLAG_PROMOTION + 3)).str, "e7e8q");
    EXPECT_STREQ(move_to_uci(make_move_word(52, 60, FLAG_PROMOTION)).str, "e7e8n");
    EXPECT_STREQ(move_to_uci(NO_MOVE).str, "0000");
    EXPECT_STREQ(move_to_uci(NULL_MOVE).str, "0000");
    EXPECT_STREQ(move_to_uci(8580).str, "e1g1");
    EXPECT_STREQ(move_to_uci(16060).str, "e8c8");
}

TEST(History, DroppingTheOldestKeepsTheRecentRecords)
{
    Board b             = board_from_fen(START_FEN);
    const Move moves[4] = { make_move_word(6, 21, 0), make_move_word(62, 45, 0),
        make_move_word(21, 6, 0), make_move_word(45, 62, 0) };
    for (Move m : moves)
        make_move(b, m);
    const std::uint64_t third = b.undo_stack[2].hash;
    drop_oldest_history(b, 2);
    EXPECT_EQ(b.undo_count, 2);
    EXPECT_EQ(b.undo_stack[0].hash, third);
    drop_oldest_history(b, 10);
    EXPECT_EQ(b.undo_count, 0);
}

} // namespace
