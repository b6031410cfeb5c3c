// fen_fuzz: any text read as a FEN, then everything the diagnostic commands do with the
// position: a two-ply walk checking the board invariants at every node, perft 2, the
// evaluation trace, dupcheck and illegalcheck, none of which may change the position.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "board/board.h"
#include "eval/eval.h"
#include "fuzz_support.h"
#include "movegen/movegen.h"
#include "movegen/perft.h"
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

    const int score = evaluate(board);
    if (score <= -SCORE_MATE_BOUND || score >= SCORE_MATE_BOUND)
        fuzz_fail("static evaluation in the mate range");
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
