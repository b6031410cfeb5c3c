// search.h: the alpha-beta search (fail-soft PVS) and the quiescence search.
//
// Scores are centipawns from the side to move's view; a side mated at ply p scores
// -(SCORE_MATE - p). The fifty-move and repetition draws count below the root only, so a
// drawn root still gets a searched move. A stopped search (stop_flag) returns 0 everywhere and
// leaves the board as it was at the root; its scores are meaningless and the driver discards
// them. Every 1024th node from iteration 2 on, the search tests the hard time limit, the node
// limit and, for an open-ended search, the input (think.h).
#pragma once

#include "board/board.h"
#include "search/move_picker.h"

struct PlyRecord {
    std::int32_t static_eval; // SCORE_NONE when the side to move was in check
    Move excluded_move; // skipped by the singular-extension verification search
    Move current_move; // NULL_MOVE while the null-move search runs
    Move pv[MAX_PLY];
    std::int32_t pv_length;
};

// The driver's stack: the root uses entry 2 so that plies -1 and -2 read zeroed records.
constexpr int SEARCH_STACK_SIZE = MAX_PLY + 4;
constexpr int ROOT_STACK_INDEX  = 2;

extern std::int32_t lmr_table[MAX_PLY][MAX_MOVES];
extern const std::int32_t lmp_table[2][7];

// Per-search state, reset by the driver at the start of every search.
extern std::uint64_t node_count;
extern int seldepth;
extern int iteration_depth;
extern std::uint8_t stop_flag;

void init_lmr_table();

// `ss` points at this ply's record inside the driver's stack.
int search(Board& board, PlyRecord* ss, int depth, int alpha, int beta, bool pv_node, int ply);
int quiescence(Board& board, PlyRecord* ss, int alpha, int beta, int ply);
