// move_picker.h: staged move ordering and the tables behind it.
//
// Out of check a node sees: the validated hash move; captures and promotions with exchange
// value >= 0, best first; quiet moves by history, killers and counter move; then the held
// back losing captures. In check every pseudo-legal move is scored in one list. Lists are
// ordered lazily by selection. No move is handed out twice.
#pragma once

#include "board/board.h"
#include "movegen/movegen.h"

constexpr int HISTORY_GRAVITY = 16384;
constexpr int MAX_PLY         = 128;

extern std::int32_t history_table[COLOR_NB][SQUARE_NB][SQUARE_NB];
extern std::int32_t continuation_history[PIECE_NB][SQUARE_NB][PIECE_NB][SQUARE_NB];
extern Move killer_moves[MAX_PLY][2];
extern Move counter_moves[PIECE_NB][SQUARE_NB];

// Zeroes all four tables (start-up, ucinewgame, each bench position).
void clear_move_ordering();
// Start of a search: zero the killers, halve both histories (truncating toward zero).
void age_move_ordering();

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
    int stage;
    Move tt_move;
    int ply;
    int prev_piece; // piece on the previous move's to-square, EMPTY when there is none
    int prev_to;
    Move moves[MAX_MOVES];
    std::int32_t scores[MAX_MOVES];
    int count;
    int index;
    Move bad_captures[MAX_MOVES];
    int bad_count;
    int bad_index;
};

// Prepares a picker for a node: STAGE_GEN_EVASIONS in check, else STAGE_TT_MOVE.
void init_move_picker(
    MovePicker& picker, bool in_check, Move tt_move, int ply, int prev_piece, int prev_to);

// The next move to try, or NO_MOVE. Once skip_quiets is set the quiet stages are passed over.
Move next_move(MovePicker& picker, const Board& board, bool skip_quiets);

int quiet_score(const Board& board, Move move, int ply, int prev_piece, int prev_to);

// Index of the highest score in [start, end); the first among equals; start if start+1 >= end.
int pick_best_index(const std::int32_t* scores, int start, int end);

// After a quiet beta cutoff by `best`: reward it and punish the other quiets tried (which
// include best), with the gravity update entry += v - entry * |v| / 16384, v = depth^2.
void update_quiet_histories(const Board& board, Move best, const Move* quiets, int quiet_count,
    int depth, int prev_piece, int prev_to);
