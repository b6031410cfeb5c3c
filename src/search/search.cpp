#include "search/search.h"

#include <algorithm>
#include <cmath>

#include "eval/eval.h"
#include "movegen/movegen.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "search/see.h"
#include "search/think.h"
#include "search/tt.h"

std::int32_t lmr_table[MAX_PLY][MAX_MOVES];

// clang-format off
const std::int32_t lmp_table[2][7] = {
    { 0, 3, 5,  8, 13, 18, 25 }, // not improving
    { 0, 5, 8, 12, 18, 25, 35 }, // improving
};
// clang-format on

std::uint64_t node_count;
int seldepth;
int iteration_depth;
std::uint8_t stop_flag;

// A node at ply p has made at most p moves (null moves included) on top of the game history,
// and nodes at MAX_PLY make none, so a search pushes at most MAX_PLY undo records.
static_assert(GAME_HISTORY_LIMIT + MAX_PLY <= UNDO_CAPACITY);

void init_lmr_table()
{
    for (int d = 0; d < MAX_PLY; ++d)
        for (int m = 0; m < MAX_MOVES; ++m)
            lmr_table[d][m] = d == 0 || m == 0
                ? 0
                : static_cast<std::int32_t>(std::log(d) * std::log(m) / 2.25 + 0.75);
}

// Runs every 1024th node from iteration 2 on: the hard time limit, the node limit and, for a
// search that would never end by itself, a "stop" from the input.
static void check_limits()
{
    const auto elapsed = static_cast<std::int64_t>(now_ms() - time_budget.start_time);
    if (elapsed >= time_budget.hard_limit)
        stop_flag = 1;
    if (node_limit != 0 && node_count >= node_limit)
        stop_flag = 1;
    if (poll_for_stop && stop_requested())
        stop_flag = 1;
}

// Fifty-move rule, or the same position with the same side to move since the last
// irreversible move (positions from before the root count too).
static bool is_draw_by_rule(const Board& board)
{
    if (board.halfmove_clock >= 100)
        return true;
    const int lowest = std::max(board.undo_count - board.halfmove_clock, 0);
    for (int i = board.undo_count - 2; i >= lowest; i -= 2)
        if (board.undo_stack[i].hash == board.hash)
            return true;
    return false;
}

static bool has_non_pawn_material(const Board& board)
{
    const int us = board.side;
    return (board.pieces[make_piece(us, KNIGHT)] | board.pieces[make_piece(us, BISHOP)]
               | board.pieces[make_piece(us, ROOK)] | board.pieces[make_piece(us, QUEEN)])
        != 0;
}

static void update_pv(PlyRecord* ss, Move move)
{
    const PlyRecord* child = ss + 1;
    ss->pv[0]              = move;
    for (int i = 0; i < child->pv_length; ++i)
        ss->pv[i + 1] = child->pv[i];
    ss->pv_length = child->pv_length + 1;
}

// ProbCut: a capture that beats beta by a margin in quiescence and in a reduced search is
// taken as proof that the node fails high. Returns SCORE_NONE when no capture proves it.
// Kept out of search() so that its move list does not sit in every search frame.
[[gnu::noinline]] static int probcut(Board& board, PlyRecord* ss, int depth, int beta, int ply)
{
    const int pbeta = beta + 200;
    MoveList captures;
    generate_captures(board, captures);
    for (int i = 0; i < captures.count; ++i) {
        const Move move = captures.moves[i];
        if (see(board, move) < 0 || !move_is_legal(board, move))
            continue;
        make_move(board, move);
        int score = -quiescence(board, ss + 1, -pbeta, -pbeta + 1, ply + 1);
        if (score >= pbeta)
            score = -search(board, ss + 1, depth - 4, -pbeta, -pbeta + 1, false, ply + 1);
        unmake_move(board, move);
        if (score >= pbeta)
            return score;
    }
    return SCORE_NONE;
}

int search(Board& board, PlyRecord* ss, int depth, int alpha, int beta, bool pv_node, int ply)
{
    if (stop_flag)
        return 0;
    ss->pv_length = 0;
    ++node_count;
    if ((node_count & 1023) == 0 && iteration_depth >= 2)
        check_limits();
    seldepth = std::max(seldepth, ply);
    if (ply >= MAX_PLY)
        return evaluate(board);
    if (depth <= 0)
        return quiescence(board, ss, alpha, beta, ply);

    // The root is always searched, so that a drawn root still gets a move and a score.
    if (ply > 0 && is_draw_by_rule(board))
        return 0;

    const int entry_alpha = alpha;
    alpha                 = std::max(alpha, -(SCORE_MATE - ply));
    beta                  = std::min(beta, SCORE_MATE - ply - 1);
    if (alpha >= beta)
        return alpha;

    const TTHit hit    = tt_probe(board.hash, ply);
    const Move tt_move = hit.found ? hit.move : NO_MOVE;
    if (hit.found && !pv_node && hit.depth >= depth
        && (hit.bound == BOUND_EXACT || (hit.bound == BOUND_LOWER && hit.score >= beta)
            || (hit.bound == BOUND_UPPER && hit.score <= alpha)))
        return hit.score;

    const bool checked = in_check(board, board.side);
    bool improving     = false;
    int eval           = SCORE_NONE;
    if (checked) {
        ss->static_eval = SCORE_NONE;
    } else {
        eval            = evaluate(board);
        ss->static_eval = eval;
        improving = ply >= 2 && (ss - 2)->static_eval != SCORE_NONE && eval > (ss - 2)->static_eval;
    }

    if (!checked && !pv_node) {
        const int rfp_margin = depth * (improving ? 70 : 90);
        if (depth <= 8 && eval - rfp_margin >= beta && eval < SCORE_MATE_BOUND)
            return eval - rfp_margin;

        if (depth < 3) {
            if (eval + 300 <= alpha)
                return quiescence(board, ss, alpha, beta, ply);
        } else {
            if (eval >= beta && has_non_pawn_material(board)) {
                const int reduction = depth / 4 + 3 + (improving ? 1 : 0);
                ss->current_move    = NULL_MOVE;
                make_null_move(board);
                const int score = -search(
                    board, ss + 1, depth - reduction - 1, -beta, -beta + 1, false, ply + 1);
                unmake_null_move(board);
                if (score >= beta)
                    return score >= SCORE_MATE_BOUND ? beta : score;
            }
            if (depth >= 5 && eval >= beta) {
                const int score = probcut(board, ss, depth, beta, ply);
                if (score != SCORE_NONE)
                    return score;
            }
        }
    }

    // Internal iterative reduction: without a hash move this node is likely new; search it
    // shallower and let the next iteration find it in the table.
    if (tt_move == NO_MOVE && depth >= 4)
        --depth;

    const Move prev_move = (ss - 1)->current_move;
    int prev_piece       = EMPTY;
    int prev_to          = 0;
    if (prev_move != NO_MOVE && prev_move != NULL_MOVE) {
        prev_to    = move_to(prev_move);
        prev_piece = board.squares[prev_to];
    }

    MovePicker picker;
    init_move_picker(picker, checked, tt_move, ply, prev_piece, prev_to);
    int best_score      = -SCORE_INFINITE;
    Move best_node_move = NO_MOVE;
    int moves_searched  = 0;
    bool has_legal_move = false;
    bool skip_quiets    = false;
    Move quiets_tried[MAX_MOVES];
    int quiet_count = 0;
    const int us    = board.side;

    for (Move move = next_move(picker, board, skip_quiets); move != NO_MOVE;
         move      = next_move(picker, board, skip_quiets)) {
        // The excluded move passed the legality test in the node that excludes it.
        if (move == ss->excluded_move) {
            has_legal_move = true;
            continue;
        }
        if (!move_is_legal(board, move))
            continue;
        has_legal_move = true;

        const bool quiet  = is_quiet(move);
        bool try_singular = false;
        int extension     = 0;
        if (pv_node) {
            if (checked)
                extension = 1;
            else
                try_singular = true;
        } else {
            if (is_capture(move) && depth <= 8 && see(board, move) < -50 * depth)
                continue;
            if (checked) {
                extension = 1;
            } else if (!quiet) {
                try_singular = true;
            } else {
                if (skip_quiets)
                    continue;
                if (depth <= 3 && eval + depth * (improving ? 175 : 125) <= alpha) {
                    skip_quiets = true;
                    continue;
                }
                if (depth <= 6 && moves_searched >= lmp_table[improving][depth]) {
                    skip_quiets = true;
                    continue;
                }
                try_singular = true;
            }
        }

        // Singular extension: when every other move fails well below the hash move's score,
        // the hash move is the only good one and deserves a deeper look.
        if (try_singular && depth >= 8 && move == tt_move && hit.found && hit.depth >= depth - 3
            && (hit.bound == BOUND_EXACT || hit.bound == BOUND_LOWER)) {
            const int sbeta   = hit.score - 2 * depth;
            ss->excluded_move = move;
            const int score   = search(board, ss, depth / 2, sbeta - 1, sbeta, false, ply);
            ss->excluded_move = NO_MOVE;
            extension         = score < sbeta ? 1 : 0;
        }

        // The reduction reads the histories as they stand before the move is made.
        int history_sum = 0;
        if (quiet) {
            history_sum = history_table[us][move_from(move)][move_to(move)];
            if (prev_piece != EMPTY)
                history_sum += continuation_history[prev_piece][prev_to]
                                                   [board.squares[move_from(move)]][move_to(move)];
        }

        ss->current_move = move;
        make_move(board, move);
        ++moves_searched;
        const int new_depth = depth + extension - 1;
        int score;
        if (moves_searched == 1) {
            score = -search(board, ss + 1, new_depth, -beta, -alpha, pv_node, ply + 1);
        } else {
            int reduction = 0;
            if (!checked && quiet && depth >= 3 && moves_searched >= 4) {
                // Extensions never raise depth above the root's (at most MAX_SEARCH_DEPTH from
                // the driver); the clamps guard direct callers and absurd positions with
                // more than 255 moves.
                reduction = lmr_table[std::min(depth, MAX_PLY - 1)]
                                     [std::min(moves_searched, MAX_MOVES - 1)];
                if (pv_node)
                    --reduction;
                if (!improving)
                    ++reduction;
                reduction -= history_sum / 8192;
                reduction = std::max(reduction, 0);
            }
            score
                = -search(board, ss + 1, new_depth - reduction, -alpha - 1, -alpha, false, ply + 1);
            if (score > alpha && reduction > 0)
                score = -search(board, ss + 1, new_depth, -alpha - 1, -alpha, false, ply + 1);
            if (score > alpha && score < beta)
                score = -search(board, ss + 1, new_depth, -beta, -alpha, true, ply + 1);
        }
        unmake_move(board, move);
        if (stop_flag)
            return 0;

        if (quiet && quiet_count < MAX_MOVES)
            quiets_tried[quiet_count++] = move;

        if (score > best_score) {
            best_score     = score;
            best_node_move = move;
            update_pv(ss, move);
            if (score > alpha) {
                alpha = score;
                if (score >= beta) {
                    if (quiet) {
                        if (killer_moves[ply][0] != move) {
                            killer_moves[ply][1] = killer_moves[ply][0];
                            killer_moves[ply][0] = move;
                        }
                        update_quiet_histories(
                            board, move, quiets_tried, quiet_count, depth, prev_piece, prev_to);
                        if (prev_piece != EMPTY)
                            counter_moves[prev_piece][prev_to] = move;
                    }
                    break;
                }
            }
        }
    }

    // Mate or stalemate only without a legal move; a node whose legal moves were all pruned
    // (or excluded) proves nothing and fails low.
    if (moves_searched == 0)
        return has_legal_move ? alpha : checked ? -(SCORE_MATE - ply) : 0;

    const int bound = best_score >= beta ? BOUND_LOWER
        : best_score > entry_alpha       ? BOUND_EXACT
                                         : BOUND_UPPER;
    tt_store(board.hash, best_score, bound, depth, best_node_move, ply);
    return best_score;
}

int quiescence(Board& board, PlyRecord* ss, int alpha, int beta, int ply)
{
    if (stop_flag)
        return 0;
    ss->pv_length = 0;
    ++node_count;
    seldepth = std::max(seldepth, ply);

    const int stand_pat = evaluate(board);
    if (ply >= MAX_PLY || stand_pat >= beta)
        return stand_pat;
    alpha = std::max(alpha, stand_pat);

    const TTHit hit = tt_probe(board.hash, ply);
    if (hit.found
        && (hit.bound == BOUND_EXACT || (hit.bound == BOUND_LOWER && hit.score >= beta)
            || (hit.bound == BOUND_UPPER && hit.score <= alpha)))
        return hit.score;

    MoveList captures;
    std::int32_t values[MAX_MOVES];
    generate_captures(board, captures);
    for (int i = 0; i < captures.count; ++i)
        values[i] = see(board, captures.moves[i]);

    int best            = stand_pat;
    Move best_move_here = NO_MOVE;
    int bound           = BOUND_UPPER;
    for (int i = 0; i < captures.count; ++i) {
        const int pick = pick_best_index(values, i, captures.count);
        std::swap(captures.moves[i], captures.moves[pick]);
        std::swap(values[i], values[pick]);
        const Move move = captures.moves[i];
        const int value = values[i];

        // Losing captures, and captures that cannot lift the score to alpha even with a
        // margin, are left out.
        if (value < 0 || stand_pat + 200 + value < alpha)
            continue;
        if (!move_is_legal(board, move))
            continue;

        make_move(board, move);
        const int score = -quiescence(board, ss + 1, -beta, -alpha, ply + 1);
        unmake_move(board, move);
        if (stop_flag)
            return 0;

        if (score > best) {
            best           = score;
            best_move_here = move;
            if (score > alpha) {
                update_pv(ss, move);
                alpha = score;
                if (score >= beta) {
                    bound = BOUND_LOWER;
                    break;
                }
            }
        }
    }
    if (bound != BOUND_LOWER)
        bound = best > stand_pat ? BOUND_EXACT : BOUND_UPPER;

    tt_store(board.hash, best, bound, 0, best_move_here, ply);
    return best;
}
