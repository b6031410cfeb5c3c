// fen_fuzz: any text read as a FEN, in standard chess and, when it gives castling rights in
// Chess960, in Chess960 too; then, on the position and each position one legal move further,
// the invariants of checks.h; then the diagnostic commands, none of which may change the
// position or find a fault.
#include <cstdint>

#include "fuzz_support.h"

namespace {

Board board;
Board saved;

void check_position(Board& b, Move tt_word, std::string_view fen)
{
    expect_ok(check_make_unmake(b), fen);
    expect_ok(check_pseudo_legal(b, tt_word % 61, 61), fen);
    expect_ok(check_move_picker(b, NO_MOVE), fen);
    expect_ok(check_move_picker(b, tt_word), fen);
    expect_ok(check_see(b), fen);
    expect_ok(check_mirror_eval(b), fen);
    const int score = evaluate(b, nullptr);
    if (score < -EVAL_LIMIT || score > EVAL_LIMIT)
        fuzz_fail("static evaluation in the mate range", fen);
}

void check_fen(std::string_view fen, Move tt_word, bool chess960)
{
    parse_fen(board, fen, chess960);
    // Without castling rights Chess960 reads the very position standard chess did.
    if (chess960 && board.castling == 0)
        return;
    if (!board_is_consistent(board))
        fuzz_fail("parse_fen leaves an inconsistent board", fen);
    saved = board;
    check_position(board, tt_word, fen);
    MoveList legal;
    generate_legal_moves(board, legal);
    for (int i = 0; i < legal.count; ++i) {
        make_move(board, legal.moves[i]);
        check_position(board, tt_word, fen);
        unmake_move(board, legal.moves[i]);
    }

    perft_divide(board, 2);
    std::string out = take_output();
    if (out.rfind("Total: " + std::to_string(perft(board, 2)) + "\n") == std::string::npos)
        fuzz_fail("perft 2 total differs from perft", out);
    eval_trace(board, nullptr);
    out                     = take_output();
    const int score         = evaluate(board, nullptr);
    const std::string total = "Total (side-to-move): " + std::string(score >= 0 ? "+" : "")
        + std::to_string(score) + " cp\n";
    if (out.size() < total.size() || out.substr(out.size() - total.size()) != total)
        fuzz_fail("eval trace total differs from evaluate", out);
    dupcheck(board);
    if ((out = take_output()).find("DUPLICATE") != std::string::npos)
        fuzz_fail("dupcheck found duplicate moves", out);
    illegalcheck(board);
    if ((out = take_output()) != "No illegal moves found among move_is_legal=true set.\n")
        fuzz_fail("illegalcheck disagrees with move_is_legal", out);
    if (!same_board(saved, board))
        fuzz_fail("a diagnostic command changed the position", fen);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    test_engine();
    capture_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 1024)
        return -1;
    const std::string_view fen(reinterpret_cast<const char*>(data), size);
    // The input's last bytes make a hash-move word, fitting or not.
    const Move tt_word = size >= 2 ? static_cast<Move>(data[size - 2] | (data[size - 1] << 8)) : 0;
    check_fen(fen, tt_word, false);
    check_fen(fen, tt_word, true);
    return 0;
}
