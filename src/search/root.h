// root.h: the root moves of a search, one record each: the move, its scores, its line, and
// what the endgame tables say of it. They carry the search's restrictions: `searchmoves`, a
// ranking by the tables (only the best rank left is searched), and MultiPV, whose line k
// searches the moves that lines 0..k-1 did not take.
#pragma once

#include "board/board.h"
#include "tablebase/tablebase.h"

constexpr int MAX_MULTIPV = 64;

struct RootMove {
    Move move;
    int previous_score; // the search's score for the move's last line, the next one's aim
    int score; // as shown (completed lines): the tables' proven result, unless a mate is found
    int tb_rank; // greater is better; 0 on a root the tables do not rank
    int tb_score; // the score the tables prove: a win, a loss or 0
    int pv_length;
    Move pv[MAX_PLY];
};

struct RootMoves {
    RootMove moves[MAX_MOVES]; // the first line_count are the lines, in the order searched
    int count;
    bool ranked; // the tables ranked the moves, which are then in rank order
    // The lines of the last completed iteration, best first.
    RootMove completed[MAX_MULTIPV];
    int completed_count;
};

// The legal moves the search may play: those of `searchmoves` that are legal, or all when
// none is; in generation order, then, when the tables rank them (settings.pieces > 0), best
// rank first.
void collect_root_moves(RootMoves& root, const Board& board, const Move* searchmoves,
    int searchmove_count, const TablebaseSettings& settings);

// The moves line `line` searches: those from position `line` on, and on a ranked root only
// those of the best rank among them.
int line_moves(const RootMoves& root, int line, Move* out);
// Line `line` found `pv` (whose first move is among its moves) with the search's score: that
// root move takes position `line`, the others keeping their order.
void set_line(RootMoves& root, int line, int score, const Move* pv, int pv_length);
// An iteration's lines are complete: with their shown scores, sorted best first (stably), they
// become the completed lines.
void complete_lines(RootMoves& root, int line_count);
