// move_picker.h: staged move ordering and the history tables behind it.
//
// Out of check a node sees: the validated hash move; captures and promotions with exchange
// value >= 0, best first; quiet moves by history, killers and counter move; then the held
// back losing captures. In check every pseudo-legal move is scored in one list. Lists are
// ordered lazily by selection. No move is handed out twice.
#pragma once

#include "board/board.h"
#include "movegen/movegen.h"

// The search's memory of good quiet moves. History entries stay within +-HISTORY_GRAVITY.
constexpr int HISTORY_GRAVITY = 16384;

struct OrderingTables {
    std::int32_t history[COLOR_NB][SQUARE_NB][SQUARE_NB]; // by side, from, to
    // By the previous move's piece and to-square, then this move's piece and to-square.
    std::int32_t continuation[PIECE_NB][SQUARE_NB][PIECE_NB][SQUARE_NB];
    Move killers[MAX_PLY][2];
    Move counters[PIECE_NB][SQUARE_NB]; // the reply that refuted a move, by its piece and to
};

// Zeroes all four tables (start-up, ucinewgame, each bench position).
void clear_ordering(OrderingTables& tables);
// Start of a search: zero the killers, halve both histories (truncating toward zero).
void age_ordering(OrderingTables& tables);

constexpr int STAGE_TT_MOVE       = 0;
constexpr int STAGE_GEN_CAPTURES  = 1;
constexpr int STAGE_GOOD_CAPTURES = 2;
constexpr int STAGE_GEN_QUIETS    = 3;
constexpr int STAGE_QUIETS        = 4;
constexpr int STAGE_BAD_CAPTURES  = 5;
constexpr int STAGE_GEN_EVASIONS  = 6;
constexpr int STAGE_EVASIONS      = 7;
constexpr int STAGE_DONE          = 8;

struct MovePicker {
    const OrderingTables* tables;
    int stage;
    Move tt_move;
    int ply;
    int prev_piece; // piece on the previous move's to-square, EMPTY when there is none
    int prev_to;
    Move moves[MAX_MOVES];
    std::int32_t scores[MAX_MOVES]; // packed with the position (move_picker.cpp)
    int count;
    int index;
    Move bad_captures[MAX_MOVES];
    int bad_count;
    int bad_index;
};

// Prepares a picker for a node: STAGE_GEN_EVASIONS in check, else STAGE_TT_MOVE.
void init_move_picker(MovePicker& picker, const OrderingTables& tables, bool in_check, Move tt_move,
    int ply, int prev_piece, int prev_to);

// The next move to try, or NO_MOVE. Once skip_quiets is set the quiet stages are passed over.
Move next_move(MovePicker& picker, const Board& board, bool skip_quiets);

// Index of the highest score in [start, end); the first among equals; start if start+1 >= end.
int pick_best_index(const std::int32_t* scores, int start, int end);

// After a quiet beta cutoff by `best` at `ply`: it becomes the first killer and the counter
// move of the previous move; it is rewarded and the other quiets tried (which include best)
// punished in both histories, with the gravity update entry += v - entry * |v| / 16384,
// v = depth^2.
void update_quiet_cutoff(OrderingTables& tables, const Board& board, Move best, const Move* quiets,
    int quiet_count, int depth, int ply, int prev_piece, int prev_to);
