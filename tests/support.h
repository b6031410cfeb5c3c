// support.h: shared test helpers: one-time table set-up and running the real executable.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "board/board.h"
#include "board/zobrist.h"
#include "movegen/attacks.h"
#include "movegen/movegen.h"

// Attack tables and Zobrist keys, built once per test process.
inline void init_core_tables()
{
    static const bool done = [] {
        init_attack_tables();
        init_zobrist();
        return true;
    }();
    (void)done;
}

inline Board board_from_fen(const std::string& fen)
{
    init_core_tables();
    Board board;
    parse_fen(board, fen);
    return board;
}

// A legal game of random moves from the start position, chosen so that it never ends early,
// as one "position startpos moves ..." line, with the board it leads to (its history trimmed
// the way the position command trims it).
struct LongGame {
    std::string line;
    Board board;
};

inline LongGame random_long_game(int plies, unsigned seed)
{
    std::mt19937 rng(seed);
    LongGame game { "position startpos moves", board_from_fen(START_FEN) };
    Board& b = game.board;
    for (int ply = 0; ply < plies; ++ply) {
        MoveList legal;
        generate_legal_moves(b, legal);
        if (legal.count == 0)
            break;
        Move move = legal.moves[rng() % legal.count];
        for (int tries = 0; tries < legal.count; ++tries) {
            Board next = b;
            make_move(next, move);
            MoveList replies;
            generate_legal_moves(next, replies);
            if (replies.count > 0)
                break;
            move = legal.moves[(rng() + tries) % legal.count];
        }
        game.line += std::string(" ") + move_to_uci(move).str;
        if (b.undo_count >= GAME_HISTORY_LIMIT)
            drop_oldest_history(b, 256);
        make_move(b, move);
    }
    return game;
}

struct EngineRun {
    std::string output;
    int exit_status;
};

// Runs the engine with `input` on standard input and returns its standard output.
inline EngineRun run_engine(const std::string& input, const std::string& args = "")
{
    char in_path[]   = "/tmp/vantorel_in_XXXXXX";
    char out_path[]  = "/tmp/vantorel_out_XXXXXX";
    const int in_fd  = mkstemp(in_path);
    const int out_fd = mkstemp(out_path);
    close(out_fd);
    if (write(in_fd, input.data(), input.size()) != static_cast<ssize_t>(input.size()))
        return { "", -1 };
    close(in_fd);
    const std::string command
        = std::string(VANTOREL_EXE) + " " + args + " < " + in_path + " > " + out_path;
    const int status = std::system(command.c_str());
    std::ifstream out(out_path, std::ios::binary);
    std::stringstream text;
    text << out.rdbuf();
    unlink(in_path);
    unlink(out_path);
    return { text.str(), WIFEXITED(status) ? WEXITSTATUS(status) : -1 };
}

inline std::vector<std::string> split_lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::stringstream stream(text);
    std::string line;
    while (std::getline(stream, line))
        lines.push_back(line);
    return lines;
}
