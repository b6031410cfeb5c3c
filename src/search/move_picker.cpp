// move_picker.cpp: the staged move picker, quiet-move scoring and the history tables.
#include "search/move_picker.h"

#include <cstring>

#include "search/see.h"

std::int32_t history_table[COLOR_NB][SQUARE_NB][SQUARE_NB];
std::int32_t continuation_history[PIECE_NB][SQUARE_NB][PIECE_NB][SQUARE_NB];
Move killer_moves[MAX_PLY][2];
Move counter_moves[PIECE_NB][SQUARE_NB];

// The hash move's score in the lists: it was handed out already, so it is dropped.
constexpr int TT_MOVE_SCORE = -999999;

static bool is_piece(int piece) { return static_cast<unsigned>(piece) < PIECE_NB; }

// A previous move indexes the continuation and counter tables only when it names a real piece
// on a real square; anything else (EMPTY, garbage) reads as "no previous move".
static bool has_prev(int prev_piece, int prev_to)
{
    return is_piece(prev_piece) && static_cast<unsigned>(prev_to) < SQUARE_NB;
}

void clear_move_ordering()
{
    std::memset(history_table, 0, sizeof history_table);
    std::memset(continuation_history, 0, sizeof continuation_history);
    std::memset(killer_moves, 0, sizeof killer_moves);
    std::memset(counter_moves, 0, sizeof counter_moves);
}

void age_move_ordering()
{
    std::memset(killer_moves, 0, sizeof killer_moves);
    for (auto& side : history_table)
        for (auto& from : side)
            for (std::int32_t& entry : from)
                entry /= 2;
    for (auto& prev_piece : continuation_history)
        for (auto& prev_to : prev_piece)
            for (auto& piece : prev_to)
                for (std::int32_t& entry : piece)
                    entry /= 2;
}

void init_move_picker(
    MovePicker& picker, bool in_check, Move tt_move, int ply, int prev_piece, int prev_to)
{
    picker.stage      = in_check ? STAGE_GEN_EVASIONS : STAGE_TT_MOVE;
    picker.tt_move    = tt_move;
    picker.ply        = ply;
    picker.prev_piece = prev_piece;
    picker.prev_to    = prev_to;
    picker.count      = 0;
    picker.index      = 0;
    picker.bad_count  = 0;
    picker.bad_index  = 0;
}

int quiet_score(const Board& board, Move move, int ply, int prev_piece, int prev_to)
{
    const int from  = move_from(move);
    const int to    = move_to(move);
    const int piece = board.squares[from];
    const bool prev = has_prev(prev_piece, prev_to);

    int score = history_table[board.side & 1][from][to];
    if (prev && is_piece(piece))
        score += continuation_history[prev_piece][prev_to][piece][to];

    if (static_cast<unsigned>(ply) < MAX_PLY) {
        if (move == killer_moves[ply][0])
            return score + 800000;
        if (move == killer_moves[ply][1])
            return score + 700000;
    }
    if (prev && move == counter_moves[prev_piece][prev_to])
        return score + 600000;
    return score;
}

int pick_best_index(const std::int32_t* scores, int start, int end)
{
    int best = start;
    for (int i = start + 1; i < end; ++i)
        if (scores[i] > scores[best])
            best = i;
    return best;
}

// Entry = entry + v - entry * |v| / 16384: the bonus shrinks as the entry nears the bound,
// which keeps every entry within +-HISTORY_GRAVITY for depths up to 127.
static void apply_gravity(std::int32_t& entry, int v)
{
    const int magnitude = v < 0 ? -v : v;
    entry               = entry + v - entry * magnitude / HISTORY_GRAVITY;
}

void update_quiet_histories(const Board& board, Move best, const Move* quiets, int quiet_count,
    int depth, int prev_piece, int prev_to)
{
    // Beyond depth 127 the bonus would outgrow the gravity bound and the product could
    // overflow; the search never goes deeper.
    depth = depth < -(MAX_PLY - 1) ? -(MAX_PLY - 1) : depth > MAX_PLY - 1 ? MAX_PLY - 1 : depth;
    const int b  = depth * depth;
    const int us = board.side & 1;

    apply_gravity(history_table[us][move_from(best)][move_to(best)], b);
    for (int i = 0; i < quiet_count; ++i)
        if (quiets[i] != best)
            apply_gravity(history_table[us][move_from(quiets[i])][move_to(quiets[i])], -b);

    if (!has_prev(prev_piece, prev_to))
        return;
    auto& table          = continuation_history[prev_piece][prev_to];
    const int best_piece = board.squares[move_from(best)];
    if (is_piece(best_piece))
        apply_gravity(table[best_piece][move_to(best)], b);
    for (int i = 0; i < quiet_count; ++i) {
        const int piece = board.squares[move_from(quiets[i])];
        if (quiets[i] != best && is_piece(piece))
            apply_gravity(table[piece][move_to(quiets[i])], -b);
    }
}

// Cheap sanity test of the hash move against the board; legality is the search's job.
// A hash move from a colliding key must not reach make_move: only moves the generator
// would produce here pass.
static bool tt_move_fits(const Board& board, Move move) { return is_pseudo_legal(board, move); }

// Takes the best remaining entry: swaps it to `index` and hands it out (selection sort, one
// step at a time, since most nodes end after a few moves).
static void take_best(MovePicker& picker, Move& move, int& score)
{
    const int best              = pick_best_index(picker.scores, picker.index, picker.count);
    move                        = picker.moves[best];
    score                       = picker.scores[best];
    picker.moves[best]          = picker.moves[picker.index];
    picker.scores[best]         = picker.scores[picker.index];
    picker.moves[picker.index]  = move;
    picker.scores[picker.index] = score;
    ++picker.index;
}

static void score_captures(MovePicker& picker, const Board& board)
{
    MoveList list;
    generate_captures(board, list);
    for (int i = 0; i < list.count; ++i) {
        const Move move  = list.moves[i];
        picker.moves[i]  = move;
        picker.scores[i] = move == picker.tt_move ? TT_MOVE_SCORE : see(board, move);
    }
    picker.count = list.count;
    picker.index = 0;
}

static void score_quiets(MovePicker& picker, const Board& board)
{
    const Bitboard empty = ~board.occupied;
    MoveList list;
    list.count = 0;

    // The pawn generator also yields captures and promotions, which the capture stage
    // already had: keep only the pushes. A list of its own keeps them from crowding out
    // quiet moves on an absurd board.
    MoveList pawn_moves;
    pawn_moves.count = 0;
    generate_pawn_moves(board, pawn_moves, empty, false);
    for (int i = 0; i < pawn_moves.count; ++i) {
        const int flags = move_flags(pawn_moves.moves[i]);
        if (flags == FLAG_QUIET || flags == FLAG_DOUBLE_PUSH)
            add_move(list, pawn_moves.moves[i]);
    }
    for (int type = KNIGHT; type <= KING; ++type)
        generate_piece_moves(board, list, type, empty);
    generate_castling_moves(board, list);

    for (int i = 0; i < list.count; ++i) {
        const Move move  = list.moves[i];
        picker.moves[i]  = move;
        picker.scores[i] = move == picker.tt_move
            ? TT_MOVE_SCORE
            : quiet_score(board, move, picker.ply, picker.prev_piece, picker.prev_to);
    }
    picker.count = list.count;
    picker.index = 0;
}

static void score_evasions(MovePicker& picker, const Board& board)
{
    MoveList list;
    generate_moves(board, list);
    for (int i = 0; i < list.count; ++i) {
        const Move move = list.moves[i];
        int score;
        if (move == picker.tt_move) {
            score = 2000000;
        } else if (is_capture(move)) {
            const int exchange = see(board, move);
            score              = exchange >= 0 ? exchange + 1000000 : exchange - 500000;
        } else if (is_promotion(move)) {
            score = 900000;
        } else {
            score = quiet_score(board, move, picker.ply, picker.prev_piece, picker.prev_to);
        }
        picker.moves[i]  = move;
        picker.scores[i] = score;
    }
    picker.count = list.count;
    picker.index = 0;
}

Move next_move(MovePicker& picker, const Board& board, bool skip_quiets)
{
    Move move;
    int score;
    for (;;) {
        switch (picker.stage) {
        case STAGE_TT_MOVE:
            picker.stage = STAGE_GEN_CAPTURES;
            if (tt_move_fits(board, picker.tt_move))
                return picker.tt_move;
            picker.tt_move = NO_MOVE;
            break;

        case STAGE_GEN_CAPTURES:
            score_captures(picker, board);
            picker.stage = STAGE_GOOD_CAPTURES;
            break;

        case STAGE_GOOD_CAPTURES:
            while (picker.index < picker.count) {
                take_best(picker, move, score);
                if (score == TT_MOVE_SCORE)
                    continue;
                if (score >= 0)
                    return move;
                if (picker.bad_count < MAX_MOVES)
                    picker.bad_captures[picker.bad_count++] = move;
            }
            picker.stage = STAGE_GEN_QUIETS;
            break;

        case STAGE_GEN_QUIETS:
            if (skip_quiets) {
                picker.stage = STAGE_BAD_CAPTURES;
                break;
            }
            score_quiets(picker, board);
            picker.stage = STAGE_QUIETS;
            break;

        case STAGE_QUIETS:
            if (!skip_quiets) {
                while (picker.index < picker.count) {
                    take_best(picker, move, score);
                    if (score > TT_MOVE_SCORE)
                        return move;
                }
            }
            picker.stage = STAGE_BAD_CAPTURES;
            break;

        case STAGE_BAD_CAPTURES:
            if (picker.bad_index < picker.bad_count)
                return picker.bad_captures[picker.bad_index++];
            picker.stage = STAGE_DONE;
            return NO_MOVE;

        case STAGE_GEN_EVASIONS:
            score_evasions(picker, board);
            picker.stage = STAGE_EVASIONS;
            break;

        case STAGE_EVASIONS:
            if (picker.index < picker.count) {
                take_best(picker, move, score);
                return move;
            }
            picker.stage = STAGE_DONE;
            return NO_MOVE;

        default:
            picker.stage = STAGE_DONE;
            return NO_MOVE;
        }
    }
}
