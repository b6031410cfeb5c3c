// move_picker.cpp: the staged move picker, quiet-move scoring and the history tables.
#include "search/move_picker.h"

#include <cassert>
#include <cstring>

#include "search/see.h"

// The hash move's score in the lists: it was handed out already, so it is dropped.
constexpr int TT_MOVE_SCORE = -999999;

// Bonuses that put killers and the counter move ahead of the other quiet moves.
constexpr int FIRST_KILLER_BONUS  = 800000;
constexpr int SECOND_KILLER_BONUS = 700000;
constexpr int COUNTER_MOVE_BONUS  = 600000;

// In check, one list: the hash move, captures that do not lose material, quiet promotions,
// quiet moves, then losing captures.
constexpr int EVASION_TT_MOVE        = 2000000;
constexpr int EVASION_GOOD_CAPTURE   = 1000000;
constexpr int EVASION_PROMOTION      = 900000;
constexpr int EVASION_LOSING_CAPTURE = -500000;

void clear_ordering(OrderingTables& tables) { std::memset(&tables, 0, sizeof tables); }

void age_ordering(OrderingTables& tables)
{
    std::memset(tables.killers, 0, sizeof tables.killers);
    for (auto& side : tables.history)
        for (auto& from : side)
            for (std::int32_t& entry : from)
                entry /= 2;
    for (auto& prev_piece : tables.continuation)
        for (auto& prev_to : prev_piece)
            for (auto& piece : prev_to)
                for (std::int32_t& entry : piece)
                    entry /= 2;
}

void init_move_picker(MovePicker& picker, const OrderingTables& tables, bool in_check, Move tt_move,
    int ply, int prev_piece, int prev_to)
{
    assert(ply >= 0 && ply < MAX_PLY);
    assert((prev_piece >= 0 && prev_piece <= EMPTY) && prev_to >= 0 && prev_to < SQUARE_NB);
    picker.tables     = &tables;
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

// What scores the quiet moves of one node, looked up once for all of them.
struct QuietScorer {
    const std::int32_t (*history)[SQUARE_NB]; // the side to move's, by from and to
    const std::int32_t (*continuation)[SQUARE_NB]; // by piece and to; nullptr without one
    const std::int32_t* squares;
    Move killer1, killer2;
    Move counter; // NO_MOVE, which no generated move equals, without a previous move
};

static QuietScorer quiet_scorer(const MovePicker& picker, const Board& board)
{
    const OrderingTables& t = *picker.tables;
    const bool has_prev     = picker.prev_piece != EMPTY;
    return { t.history[board.side],
        has_prev ? t.continuation[picker.prev_piece][picker.prev_to] : nullptr, board.squares,
        t.killers[picker.ply][0], t.killers[picker.ply][1],
        has_prev ? t.counters[picker.prev_piece][picker.prev_to] : NO_MOVE };
}

// Both histories, then a bonus for a killer or the counter move.
static int quiet_score(const QuietScorer& q, Move move)
{
    const int from = move_from(move);
    const int to   = move_to(move);
    int score      = q.history[from][to];
    if (q.continuation != nullptr)
        score += q.continuation[q.squares[from]][to];
    if (move == q.killer1)
        return score + FIRST_KILLER_BONUS;
    if (move == q.killer2)
        return score + SECOND_KILLER_BONUS;
    if (move == q.counter)
        return score + COUNTER_MOVE_BONUS;
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

void update_quiet_cutoff(OrderingTables& tables, const Board& board, Move best, const Move* quiets,
    int quiet_count, int depth, int ply, int prev_piece, int prev_to)
{
    // Beyond MAX_SEARCH_DEPTH the bonus would outgrow the gravity bound; no node is deeper.
    assert(depth > 0 && depth <= MAX_SEARCH_DEPTH);
    if (tables.killers[ply][0] != best) {
        tables.killers[ply][1] = tables.killers[ply][0];
        tables.killers[ply][0] = best;
    }
    const int b  = depth * depth;
    const int us = board.side;
    apply_gravity(tables.history[us][move_from(best)][move_to(best)], b);
    for (int i = 0; i < quiet_count; ++i)
        if (quiets[i] != best)
            apply_gravity(tables.history[us][move_from(quiets[i])][move_to(quiets[i])], -b);

    if (prev_piece == EMPTY)
        return;
    auto& table = tables.continuation[prev_piece][prev_to];
    apply_gravity(table[board.squares[move_from(best)]][move_to(best)], b);
    for (int i = 0; i < quiet_count; ++i)
        if (quiets[i] != best)
            apply_gravity(table[board.squares[move_from(quiets[i])]][move_to(quiets[i])], -b);
    tables.counters[prev_piece][prev_to] = best;
}

// Cheap sanity test of the hash move against the board; legality is the search's job.
// A hash move from a colliding key must not reach make_move: only moves the generator
// would produce here pass.
static bool tt_move_fits(const Board& board, Move move) { return is_pseudo_legal(board, move); }

// The lists hold each score packed with its position: score * 256 + (255 - position). The
// highest packed entry is then the highest score at its first position, which is what
// pick_best_index would pick, and finding it is a plain maximum that the compiler turns into
// vector instructions. Scores stay within +-2^22, so the packing fits 31 bits.
static std::int32_t pack(int score, int position) { return score * 256 + (255 - position); }
static_assert(MAX_MOVES <= 256 && EVASION_TT_MOVE + 2 * HISTORY_GRAVITY < (1 << 22)
    && TT_MOVE_SCORE > -(1 << 22));

// Takes the best remaining entry: swaps it to `index` and hands it out (selection sort, one
// step at a time, since most nodes end after a few moves).
static void take_best(MovePicker& picker, Move& move, int& score)
{
    std::int32_t top = picker.scores[picker.index];
    for (int i = picker.index + 1; i < picker.count; ++i)
        top = picker.scores[i] > top ? picker.scores[i] : top;
    const int best = 255 - (top & 255);
    move           = picker.moves[best];
    score          = top >> 8; // rounds down, undoing the packing of negative scores too
    // The entry at `index` moves to `best`; `index` itself is never looked at again.
    picker.moves[best]         = picker.moves[picker.index];
    picker.scores[best]        = pack(picker.scores[picker.index] >> 8, best);
    picker.moves[picker.index] = move;
    ++picker.index;
}

static void score_captures(MovePicker& picker, const Board& board)
{
    MoveList list;
    generate_captures(board, list);
    for (int i = 0; i < list.count; ++i) {
        const Move move  = list.moves[i];
        picker.moves[i]  = move;
        picker.scores[i] = pack(move == picker.tt_move ? TT_MOVE_SCORE : see(board, move), i);
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

    const QuietScorer q = quiet_scorer(picker, board);
    const Move tt_move  = picker.tt_move;
    for (int i = 0; i < list.count; ++i) {
        const Move move  = list.moves[i];
        picker.moves[i]  = move;
        picker.scores[i] = pack(move == tt_move ? TT_MOVE_SCORE : quiet_score(q, move), i);
    }
    picker.count = list.count;
    picker.index = 0;
}

static void score_evasions(MovePicker& picker, const Board& board)
{
    MoveList list;
    generate_moves(board, list);
    const QuietScorer q = quiet_scorer(picker, board);
    for (int i = 0; i < list.count; ++i) {
        const Move move = list.moves[i];
        int score;
        if (move == picker.tt_move) {
            score = EVASION_TT_MOVE;
        } else if (is_capture(move)) {
            const int exchange = see(board, move);
            score = exchange + (exchange >= 0 ? EVASION_GOOD_CAPTURE : EVASION_LOSING_CAPTURE);
        } else if (is_promotion(move)) {
            score = EVASION_PROMOTION;
        } else {
            score = quiet_score(q, move);
        }
        picker.moves[i]  = move;
        picker.scores[i] = pack(score, i);
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
