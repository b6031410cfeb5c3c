// fuzz_support.h: what every fuzz target shares: standard output captured in memory, the
// checks on what the engine printed, and the board invariants.
//
// A failed check prints its reason and the offending text to standard error and aborts, which
// libFuzzer reports as a crash and saves the input.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>

#include "board/board.h"
#include "movegen/movegen.h"

// The engine reads lines of up to 4095 characters; nothing it prints may be longer. (The
// longest legitimate line is an info line with a full principal variation, under 1,000.)
constexpr std::size_t MAX_OUTPUT_LINE = 4095;

[[noreturn]] inline void fuzz_fail(const char* what, std::string_view detail = {})
{
    std::fprintf(stderr, "\nFUZZ CHECK FAILED: %s\n", what);
    if (!detail.empty())
        std::fprintf(stderr, "----\n%.*s\n----\n",
            static_cast<int>(detail.size() > 8192 ? 8192 : detail.size()), detail.data());
    std::abort();
}

// Standard output goes to an in-memory file for the life of the process. Unbuffered, as in
// the engine, so every printf reaches the file at once.
inline int captured_fd = -1;

inline void capture_stdout()
{
    if (captured_fd >= 0)
        return;
    std::fflush(stdout);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    captured_fd = memfd_create("vantorel_stdout", 0);
    if (captured_fd < 0 || dup2(captured_fd, STDOUT_FILENO) < 0)
        fuzz_fail("cannot capture standard output");
}

// Everything printed since the previous call; the in-memory file is emptied.
inline std::string take_output()
{
    std::fflush(stdout);
    const off_t size = lseek(STDOUT_FILENO, 0, SEEK_CUR);
    std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (!text.empty() && pread(STDOUT_FILENO, text.data(), text.size(), 0) != size)
        fuzz_fail("cannot read captured output");
    if (ftruncate(STDOUT_FILENO, 0) != 0 || lseek(STDOUT_FILENO, 0, SEEK_SET) != 0)
        fuzz_fail("cannot reset captured output");
    return text;
}

// Well-formed output: printable ASCII lines, each ended by "\n", none longer than the limit.
inline void check_output_lines(std::string_view text)
{
    std::size_t line_start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            if (i - line_start > MAX_OUTPUT_LINE)
                fuzz_fail("output line too long", text.substr(line_start, 200));
            line_start = i + 1;
        } else if (c < 0x20 || c > 0x7e) {
            fuzz_fail("output byte outside printable ASCII", text.substr(line_start, 200));
        }
    }
    if (line_start != text.size())
        fuzz_fail("output does not end with a line end", text.substr(line_start, 200));
}

inline void check_board(const Board& board, const char* when)
{
    if (!board_is_consistent(board))
        fuzz_fail(when, "board_is_consistent is false");
    if (board.undo_count < 0 || board.undo_count > UNDO_CAPACITY - 128)
        fuzz_fail(when, "undo_count leaves no room for a search");
}

// The part of a Board that a command which promises to leave it alone must not change.
inline bool same_position(const Board& a, const Board& b)
{
    return std::memcmp(a.pieces, b.pieces, sizeof a.pieces) == 0
        && std::memcmp(a.squares, b.squares, sizeof a.squares) == 0 && a.side == b.side
        && a.ep_square == b.ep_square && a.castling == b.castling
        && a.halfmove_clock == b.halfmove_clock && a.fullmove_number == b.fullmove_number
        && a.undo_count == b.undo_count && a.hash == b.hash && a.pawn_hash == b.pawn_hash
        && a.psq_score == b.psq_score;
}

inline bool is_legal_move(Board& board, Move move)
{
    MoveList list;
    generate_legal_moves(board, list);
    for (int i = 0; i < list.count; ++i)
        if (list.moves[i] == move)
            return true;
    return false;
}
