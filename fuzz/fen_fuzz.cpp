// fen_fuzz: any text read as a FEN, then everything the diagnostic commands do with the
// position: a two-ply walk checking the board invariants at every node, perft 2, the
// evaluation trace, dupcheck and illegalcheck, none of which may change the position.
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "board/board.h"
#include "eval/eval.h"
#include "fuzz_support.h"
#include "movegen/movegen.h"
#include "movegen/perft.h"
#include "search/move_picker.h"
#include "search/see.h"
#include "search/tt.h"
#include "uci/uci.h"

namespace {

Board board;
Board saved;

struct Snapshot {
    int squares[SQUARE_NB];
    std::uint64_t hash, pawn_hash;
    Score psq;
    int castling, ep, halfmove, undo_count;
};

Snapshot snapshot(const Board& b)
{
    Snapshot s;
    std::memcpy(s.squares, b.squares, sizeof s.squares);
    s.hash       = b.hash;
    s.pawn_hash  = b.pawn_hash;
    s.psq        = b.psq_score;
    s.castling   = b.castling;
    s.ep         = b.ep_square;
    s.halfmove   = b.halfmove_clock;
    s.undo_count = b.undo_count;
    return s;
}

bool same(const Snapshot& a, const Snapshot& b)
{
    return std::memcmp(a.squares, b.squares, sizeof a.squares) == 0 && a.hash == b.hash
        && a.pawn_hash == b.pawn_hash && a.psq == b.psq && a.castling == b.castling && a.ep == b.ep
        && a.halfmove == b.halfmove && a.undo_count == b.undo_count;
}

// Leaves of the legal move tree, with the invariants checked after every make and unmake.
std::uint64_t walk(Board& b, int depth)
{
    MoveList list;
    generate_legal_moves(b, list);
    if (depth == 1)
        return static_cast<std::uint64_t>(list.count);
    std::uint64_t leaves  = 0;
    const Snapshot before = snapshot(b);
    for (int i = 0; i < list.count; ++i) {
        make_move(b, list.moves[i]);
        check_board(b, "after make_move");
        if (in_check(b, b.side ^ 1))
            fuzz_fail("a legal move left the mover in check");
        leaves += walk(b, depth - 1);
        unmake_move(b, list.moves[i]);
        if (!same(before, snapshot(b)))
            fuzz_fail("unmake_move did not restore the position");
    }
    if (!in_check(b, b.side)) {
        make_null_move(b);
        check_board(b, "after make_null_move");
        unmake_null_move(b);
        if (!same(before, snapshot(b)))
            fuzz_fail("unmake_null_move did not restore the position");
    }
    return leaves;
}

std::uint64_t total_of(const std::string& text)
{
    const std::size_t at = text.rfind("Total: ");
    if (at == std::string::npos)
        fuzz_fail("perft printed no total", text);
    return std::strtoull(text.c_str() + at + 7, nullptr, 10);
}

void expect_unchanged(const char* command)
{
    if (!same_position(saved, board) || !board_is_consistent(board))
        fuzz_fail(command, "changed the game board");
}

// The picker hands out every pseudo-legal move exactly once. The hash move comes first and only
// passes a cheap fit test (legality is the search's job), so it alone may be something else.
void check_move_picker(Move tt_move)
{
    MoveList pseudo;
    generate_moves(board, pseudo);
    bool pseudo_legal[1 << 16] = {};
    for (int i = 0; i < pseudo.count; ++i)
        pseudo_legal[pseudo.moves[i]] = true;
    MovePicker picker;
    init_move_picker(picker, in_check(board, board.side), tt_move, 0, EMPTY, 0);
    bool seen[1 << 16] = {};
    int picked         = 0;
    for (Move move; (move = next_move(picker, board, false)) != NO_MOVE;) {
        if (seen[move])
            fuzz_fail("the move picker handed out a move twice", move_to_uci(move).str);
        seen[move] = true;
        if (!pseudo_legal[move] && (picked > 0 || move != tt_move))
            fuzz_fail("the move picker made up a move", move_to_uci(move).str);
        ++picked;
        if (pseudo_legal[move] && (is_capture(move) || is_promotion(move)))
            see(board, move);
    }
    for (int i = 0; i < pseudo.count; ++i)
        if (!seen[pseudo.moves[i]])
            fuzz_fail("the move picker left out a move", move_to_uci(pseudo.moves[i]).str);
}

// The same position with ranks flipped and colours swapped, as FEN text.
std::string mirrored_fen(const Board& b)
{
    std::string fen;
    for (int rank = 0; rank < 8; ++rank) {
        int empty = 0;
        for (int file = 0; file < 8; ++file) {
            const int piece = b.squares[make_square(file, rank)];
            if (piece == EMPTY) {
                ++empty;
                continue;
            }
            if (empty)
                fen += static_cast<char>('0' + empty);
            empty = 0;
            fen += "pnbrqkPNBRQK"[piece];
        }
        if (empty)
            fen += static_cast<char>('0' + empty);
        fen += rank < 7 ? "/" : "";
    }
    fen += b.side == WHITE ? " b " : " w ";
    std::string rights;
    if (b.castling & CASTLE_BK)
        rights += 'K';
    if (b.castling & CASTLE_BQ)
        rights += 'Q';
    if (b.castling & CASTLE_WK)
        rights += 'k';
    if (b.castling & CASTLE_WQ)
        rights += 'q';
    fen += rights.empty() ? "-" : rights;
    if (b.ep_square == NO_SQUARE)
        fen += " -";
    else
        fen += std::string(" ") + static_cast<char>('a' + file_of(b.ep_square))
            + static_cast<char>('1' + (rank_of(b.ep_square) ^ 7));
    return fen + " " + std::to_string(b.halfmove_clock) + " 1";
}

// A real king on each side, no pawn on a back rank and at most one queen a side (the safe-check
// term looks at the lowest queen only): then colour must not matter, up to the one-point
// rounding of end-game halves that the packed scores carry.
bool mirror_applies(const Board& b)
{
    const Bitboard back_ranks = 0xFF000000000000FFULL;
    return std::popcount(b.pieces[make_piece(WHITE, KING)]) == 1
        && std::popcount(b.pieces[make_piece(BLACK, KING)]) == 1
        && std::popcount(b.pieces[make_piece(WHITE, QUEEN)]) <= 1
        && std::popcount(b.pieces[make_piece(BLACK, QUEEN)]) <= 1
        && !((b.pieces[make_piece(WHITE, PAWN)] | b.pieces[make_piece(BLACK, PAWN)]) & back_ranks)
        && b.halfmove_clock >= 0 && b.halfmove_clock < 1000;
}

// Material that promotions could have produced from the start position, one side at a time.
bool reachable_material(const Board& b)
{
    for (int color = WHITE; color <= BLACK; ++color) {
        auto count = [&](int type) { return std::popcount(b.pieces[make_piece(color, type)]); };
        auto extra
            = [&](int type, int start) { return count(type) > start ? count(type) - start : 0; };
        if (count(KING) != 1
            || count(PAWN) + extra(KNIGHT, 2) + extra(BISHOP, 2) + extra(ROOK, 2) + extra(QUEEN, 1)
                > 8)
            return false;
    }
    return true;
}

Board mirror;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    init_engine();
    tt_resize(1);
    capture_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 1024)
        return -1;
    const std::string fen(reinterpret_cast<const char*>(data), size);
    parse_fen(board, fen);
    check_board(board, "after parse_fen");
    saved = board;

    const std::uint64_t leaves = walk(board, 2);
    expect_unchanged("the two-ply walk");

    perft_divide(board, 2);
    std::string out = take_output();
    check_output_lines(out);
    if (total_of(out) != leaves)
        fuzz_fail("perft 2 total differs from the walk", out);
    expect_unchanged("perft");

    // The hash move: none, a real one, and whatever word the input's last bytes make.
    check_move_picker(NO_MOVE);
    MoveList legal;
    generate_legal_moves(board, legal);
    if (legal.count > 0)
        check_move_picker(legal.moves[legal.count - 1]);
    if (size >= 2)
        check_move_picker(static_cast<Move>(data[size - 2] | (data[size - 1] << 8)));
    expect_unchanged("the move picker");

    const int score = evaluate(board);
    // Unclamped by design: absurd material (dozens of queens) may reach any value.
    if (reachable_material(board) && (score <= -SCORE_MATE_BOUND || score >= SCORE_MATE_BOUND))
        fuzz_fail("static evaluation in the mate range");
    if (mirror_applies(board)) {
        const std::string text = mirrored_fen(board);
        parse_fen(mirror, text);
        if (std::abs(evaluate(mirror) - score) > 1)
            fuzz_fail("the evaluation depends on colour", text);
    }
    eval_trace(board);
    out = take_output();
    check_output_lines(out);
    const std::string total = "Total (side-to-move): " + std::string(score >= 0 ? "+" : "")
        + std::to_string(score) + " cp\n";
    if (out.size() < total.size()
        || out.compare(out.size() - total.size(), total.size(), total) != 0)
        fuzz_fail("eval trace total differs from evaluate", out);
    expect_unchanged("eval");

    dupcheck(board);
    out = take_output();
    check_output_lines(out);
    if (out.find("DUPLICATE") != std::string::npos)
        fuzz_fail("dupcheck found duplicate moves", out);
    expect_unchanged("dupcheck");

    illegalcheck(board);
    out = take_output();
    check_output_lines(out);
    if (out != "No illegal moves found among move_is_legal=true set.\n")
        fuzz_fail("illegalcheck disagrees with move_is_legal", out);
    expect_unchanged("illegalcheck");
    return 0;
}
