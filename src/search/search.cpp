#include "search/search.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "board/rules.h"
#include "eval/eval.h"
#include "movegen/movegen.h"
#include "platform/clock.h"
#include "search/see.h"
#include "search/tt.h"
#include "tablebase/tablebase.h"

// Tuning numbers of the pruning, reduction and extension steps.
constexpr int RFP_MAX_DEPTH             = 8;
constexpr int RFP_MARGIN                = 90; // per ply of depth
constexpr int RFP_MARGIN_IMPROVING      = 70;
constexpr int RAZOR_MAX_DEPTH           = 2;
constexpr int RAZOR_MARGIN              = 300;
constexpr int NULL_MOVE_MIN_DEPTH       = 3;
constexpr int NULL_MOVE_BASE_REDUCTION  = 3; // plus depth / 4, plus 1 when improving
constexpr int PROBCUT_MIN_DEPTH         = 5;
constexpr int PROBCUT_MARGIN            = 200;
constexpr int PROBCUT_REDUCTION         = 4;
constexpr int IIR_MIN_DEPTH             = 4;
constexpr int SEE_PRUNE_MAX_DEPTH       = 8;
constexpr int SEE_PRUNE_MARGIN          = 50; // per ply of depth
constexpr int FUTILITY_MAX_DEPTH        = 3;
constexpr int FUTILITY_MARGIN           = 125; // per ply of depth
constexpr int FUTILITY_MARGIN_IMPROVING = 175;
constexpr int LMP_MAX_DEPTH             = 6;
constexpr int SINGULAR_MIN_DEPTH        = 8;
constexpr int SINGULAR_TT_DEPTH_SLACK   = 3;
constexpr int SINGULAR_MARGIN           = 2; // per ply of depth
constexpr int LMR_MIN_DEPTH             = 3;
constexpr int LMR_MIN_MOVES             = 4;
constexpr int LMR_HISTORY_DIVISOR       = 8192;
constexpr int QS_DELTA_MARGIN           = 200;
constexpr int TB_STORE_DEPTH_BONUS      = 6;

// Late-move reductions by depth and move number: log(d) * log(m) / 2.25 + 0.75.
static std::int32_t lmr_table[MAX_PLY][MAX_MOVES];

// Quiet moves searched before late-move pruning, by [improving][depth].
// clang-format off
static const std::int32_t lmp_table[2][LMP_MAX_DEPTH + 1] = {
    { 0, 3, 5,  8, 13, 18, 25 },
    { 0, 5, 8, 12, 18, 25, 35 },
};
// clang-format on

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

static void check_limits(SearchThread& s)
{
    s.stopped = s.index == 0
        ? main_thread_should_stop(*s.control, s.iteration_depth, s.helper_ahead)
        : s.control->stop.load(std::memory_order_relaxed);
}

static bool is_root_move(const SearchThread& s, Move move)
{
    for (int i = 0; i < s.root_move_count; ++i)
        if (s.root_moves[i] == move)
            return true;
    return false;
}

// A side in check with no legal move is mated, even on the hundredth half-move: mate comes
// before the fifty-move rule.
static bool is_checkmated(const Board& board)
{
    if (!in_check(board, board.side))
        return false;
    MoveList moves;
    generate_legal_moves(board, moves);
    return moves.count == 0;
}

// Fifty-move rule (unless mated), or a repetition.
static bool is_draw_by_rule(const Board& board)
{
    if (board.halfmove_clock >= 100)
        return !is_checkmated(board);
    return is_repetition(board);
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

// Counts the node and, from iteration 2 on when asked, now and then tests the limits.
static void count_node(SearchThread& s, PlyRecord* ss, int ply, bool test_limits)
{
    ss->pv_length             = 0;
    const std::uint64_t nodes = s.nodes.load(std::memory_order_relaxed) + 1;
    s.nodes.store(nodes, std::memory_order_relaxed);
    if (test_limits && (nodes & s.control->clock.check_mask) == 0 && s.iteration_depth >= 2)
        check_limits(s);
    s.seldepth = std::max(s.seldepth, ply);
}

// The static evaluation outside check (SCORE_NONE in check), kept on the stack so that a node
// knows whether it improves on its side's position two plies up.
static int static_evaluation(SearchThread& s, PlyRecord* ss, bool checked)
{
    ss->static_eval = checked ? SCORE_NONE : evaluate(s.board, s.evaluator);
    return ss->static_eval;
}

static bool is_improving(const PlyRecord* ss, int ply)
{
    return ply >= 2 && ss->static_eval != SCORE_NONE && (ss - 2)->static_eval != SCORE_NONE
        && ss->static_eval > (ss - 2)->static_eval;
}

// The previous move's piece and to-square, which index the continuation history and the
// counter moves; EMPTY after a null move or at the root.
struct PreviousMove {
    int piece;
    int to;
};
static PreviousMove previous_move(const Board& board, const PlyRecord* ss)
{
    const Move move = (ss - 1)->current_move;
    if (move == NO_MOVE || move == NULL_MOVE)
        return { EMPTY, 0 };
    return { board.squares[move_to(move)], move_to(move) };
}

// Both histories of a quiet move, as they stand before it is made.
static int quiet_history(
    const OrderingTables& t, const Board& board, Move move, const PreviousMove& prev)
{
    const int from = move_from(move);
    const int to   = move_to(move);
    int sum        = t.history[board.side][from][to];
    if (prev.piece != EMPTY)
        sum += t.continuation[prev.piece][prev.to][board.squares[from]][to];
    return sum;
}

static bool tt_cuts_off(const TTHit& hit, int alpha, int beta)
{
    return hit.bound == BOUND_EXACT || (hit.bound == BOUND_LOWER && hit.score >= beta)
        || (hit.bound == BOUND_UPPER && hit.score <= alpha);
}

// Endgame tables, at a node just after a capture or pawn move with few enough pieces (as many
// as the largest table only from SyzygyProbeDepth on). A proven result that decides the node is
// stored and returned; in a principal variation, a win that does not reach beta becomes the
// node's floor and a loss above alpha its cap. SCORE_NONE when the search must go on.
static int probe_tables(
    SearchThread& s, int depth, int alpha, int beta, bool pv_node, int ply, int& floor, int& cap)
{
    const Board& board                = s.board;
    const TablebaseSettings& settings = s.control->tables;
    if (!tb_may_probe(board, settings.pieces)
        || (popcount(board.occupied) == settings.pieces && depth < settings.probe_depth))
        return SCORE_NONE;
    const TablebaseResult result = tb_probe(board, settings);
    if (result == TB_FAILED)
        return SCORE_NONE;
    s.tb_hits.store(s.tb_hits.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    const int score = result == TB_WIN_RESULT ? SCORE_PROVEN_WIN - ply
        : result == TB_LOSS_RESULT            ? -(SCORE_PROVEN_WIN - ply)
                                              : 0;
    const int bound = result == TB_WIN_RESULT ? BOUND_LOWER
        : result == TB_LOSS_RESULT            ? BOUND_UPPER
                                              : BOUND_EXACT;
    if (bound == BOUND_EXACT || (bound == BOUND_LOWER ? score >= beta : score <= alpha)) {
        // A proof is worth a deep search: keep it over shallower entries.
        tt_store(*s.control->tt, board.hash, score, bound,
            std::min(depth + TB_STORE_DEPTH_BONUS, MAX_SEARCH_DEPTH), NO_MOVE, ply);
        return score;
    }
    if (pv_node)
        (bound == BOUND_LOWER ? floor : cap) = score;
    return SCORE_NONE;
}

// Null-move pruning: if passing the turn still fails high, a real move will too.
static int null_move(SearchThread& s, PlyRecord* ss, int depth, int beta, bool improving, int ply)
{
    const int reduction = depth / 4 + NULL_MOVE_BASE_REDUCTION + (improving ? 1 : 0);
    ss->current_move    = NULL_MOVE;
    do_null_move(s);
    const int score = -search(s, ss + 1, depth - reduction - 1, -beta, -beta + 1, false, ply + 1);
    undo_null_move(s);
    if (score < beta)
        return SCORE_NONE;
    return is_decisive(score) ? beta : score;
}

// ProbCut: a capture that beats beta by a margin in quiescence and in a reduced search is
// taken as proof that the node fails high. Kept out of search() so that its move list does
// not sit in every search frame.
[[gnu::noinline]] static int probcut(SearchThread& s, PlyRecord* ss, int depth, int beta, int ply)
{
    Board& board    = s.board;
    const int pbeta = beta + PROBCUT_MARGIN;
    MoveList captures;
    generate_captures(board, captures);
    for (int i = 0; i < captures.count; ++i) {
        const Move move = captures.moves[i];
        if (see_below(board, move, 0) || !move_is_legal(board, move))
            continue;
        do_move(s, move);
        int score = -quiescence(s, ss + 1, -pbeta, -pbeta + 1, ply + 1);
        if (score >= pbeta)
            score
                = -search(s, ss + 1, depth - PROBCUT_REDUCTION, -pbeta, -pbeta + 1, false, ply + 1);
        undo_move(s, move);
        if (score >= pbeta)
            return score;
    }
    return SCORE_NONE;
}

// Pruning of a whole node before its moves, outside check and principal variations; the
// node's score, or SCORE_NONE when its moves must be searched.
static int prune_node(SearchThread& s, PlyRecord* ss, int depth, int alpha, int beta, int eval,
    bool improving, int ply)
{
    // Reverse futility pruning: the static score beats beta by a depth-wide margin.
    const int rfp_margin = depth * (improving ? RFP_MARGIN_IMPROVING : RFP_MARGIN);
    if (depth <= RFP_MAX_DEPTH && eval - rfp_margin >= beta && !is_decisive(eval))
        return eval - rfp_margin;

    // Razoring: far below alpha near the leaves, only captures can help.
    if (depth <= RAZOR_MAX_DEPTH)
        return eval + RAZOR_MARGIN <= alpha ? quiescence(s, ss, alpha, beta, ply) : SCORE_NONE;

    int score = SCORE_NONE;
    if (depth >= NULL_MOVE_MIN_DEPTH && eval >= beta && has_non_pawn_material(s.board))
        score = null_move(s, ss, depth, beta, improving, ply);
    if (score == SCORE_NONE && depth >= PROBCUT_MIN_DEPTH && eval >= beta)
        score = probcut(s, ss, depth, beta, ply);
    return score;
}

// Move pruning outside principal variations: captures that lose too much material, and once
// quiet moves look futile (futility pruning) or many were tried (late-move pruning), all
// further quiet moves. Updates skip_quiets; true to leave the move out.
static bool prune_move(const Board& board, Move move, bool checked, int depth, int eval, int alpha,
    bool improving, int moves_searched, bool& skip_quiets)
{
    if (is_capture(move) && depth <= SEE_PRUNE_MAX_DEPTH
        && see_below(board, move, -SEE_PRUNE_MARGIN * depth))
        return true;
    if (checked || !is_quiet(move))
        return false;
    if (!skip_quiets) {
        const int margin = depth * (improving ? FUTILITY_MARGIN_IMPROVING : FUTILITY_MARGIN);
        skip_quiets      = (depth <= FUTILITY_MAX_DEPTH && eval + margin <= alpha)
            || (depth <= LMP_MAX_DEPTH && moves_searched >= lmp_table[improving][depth]);
    }
    return skip_quiets;
}

// Singular extension: when every other move fails well below the hash move's score, the
// hash move is the only good one and deserves a deeper look.
static int singular_extension(
    SearchThread& s, PlyRecord* ss, Move move, const TTHit& hit, int depth, int ply)
{
    if (depth < SINGULAR_MIN_DEPTH || move != hit.move || !hit.found
        || hit.depth < depth - SINGULAR_TT_DEPTH_SLACK
        || (hit.bound != BOUND_EXACT && hit.bound != BOUND_LOWER))
        return 0;
    const int sbeta   = hit.score - SINGULAR_MARGIN * depth;
    ss->excluded_move = move;
    const int score   = search(s, ss, depth / 2, sbeta - 1, sbeta, false, ply);
    ss->excluded_move = NO_MOVE;
    return score < sbeta ? 1 : 0;
}

// Late-move reduction of a quiet move after the first few, less for principal variations,
// improving nodes and moves with good history.
static int late_move_reduction(
    int depth, int moves_searched, bool pv_node, bool improving, int history_sum)
{
    if (depth < LMR_MIN_DEPTH || moves_searched < LMR_MIN_MOVES)
        return 0;
    // Extensions never raise depth above the root's; only absurd boards have more moves
    // than the table.
    assert(depth < MAX_PLY);
    int reduction = lmr_table[depth][std::min(moves_searched, MAX_MOVES - 1)];
    if (pv_node)
        --reduction;
    if (!improving)
        ++reduction;
    reduction -= history_sum / LMR_HISTORY_DIVISOR;
    return std::max(reduction, 0);
}

// Principal variation search of one made move: the first move with the full window, the
// others with a null window (reduced first, then at full depth), and again with the full
// window when they land inside it.
static int search_move(SearchThread& s, PlyRecord* ss, int new_depth, int reduction, int alpha,
    int beta, bool pv_node, bool first, int ply)
{
    if (first)
        return -search(s, ss + 1, new_depth, -beta, -alpha, pv_node, ply + 1);
    int score = -search(s, ss + 1, new_depth - reduction, -alpha - 1, -alpha, false, ply + 1);
    if (score > alpha && reduction > 0)
        score = -search(s, ss + 1, new_depth, -alpha - 1, -alpha, false, ply + 1);
    if (score > alpha && score < beta)
        score = -search(s, ss + 1, new_depth, -beta, -alpha, true, ply + 1);
    return score;
}

// The main thread tells the root move it starts on, now and then once the search has run a
// while.
static void announce_root_move(const SearchThread& s, Move move, int number)
{
    SearchClock& clock = s.control->clock;
    if (!clock.currmove)
        return;
    const std::uint64_t now = now_ms();
    if (now < clock.next_currmove)
        return;
    clock.next_currmove = now + CURRMOVE_INTERVAL;
    clock.currmove(clock.context, s.iteration_depth, move, number);
}

// What a node knows before its moves are searched.
struct Node {
    int depth, alpha, beta, ply;
    int entry_alpha; // alpha before mate distances and tables narrowed it
    bool pv_node, checked, improving;
    int eval; // the static evaluation, SCORE_NONE in check
    TTHit hit;
    int tb_floor, tb_cap; // the tables' bounds in a principal variation
};

// The moves of a node, best first as the picker sees them; the result goes to the table.
static int search_moves(SearchThread& s, PlyRecord* ss, Node& n)
{
    Board& board            = s.board;
    TranspositionTable& tt  = *s.control->tt;
    const PreviousMove prev = previous_move(board, ss);
    MovePicker picker;
    init_move_picker(picker, s.ordering, n.checked, n.hit.move, n.ply, prev.piece, prev.to);
    int best_score      = n.tb_floor;
    Move best_node_move = NO_MOVE;
    int moves_searched  = 0;
    bool has_legal_move = false;
    bool skip_quiets    = false;
    Move quiets_tried[MAX_MOVES];
    int quiet_count = 0;

    for (Move move = next_move(picker, board, skip_quiets); move != NO_MOVE;
         move      = next_move(picker, board, skip_quiets)) {
        if (n.ply == 0 && !is_root_move(s, move))
            continue;
        // The excluded move passed the legality test in the node that excludes it.
        if (move == ss->excluded_move) {
            has_legal_move = true;
            continue;
        }
        if (!move_is_legal(board, move))
            continue;
        has_legal_move = true;

        const bool quiet = is_quiet(move);
        if (!n.pv_node
            && prune_move(board, move, n.checked, n.depth, n.eval, n.alpha, n.improving,
                moves_searched, skip_quiets))
            continue;

        tt_prefetch_move(tt, board, move);
        // Check extension; outside check, the singular extension.
        const int extension
            = n.checked ? 1 : singular_extension(s, ss, move, n.hit, n.depth, n.ply);
        const int reduction = !n.checked && quiet
            ? late_move_reduction(n.depth, moves_searched + 1, n.pv_node, n.improving,
                quiet_history(s.ordering, board, move, prev))
            : 0;

        if (n.ply == 0 && s.index == 0)
            announce_root_move(s, move, moves_searched + 1);
        ss->current_move = move;
        do_move(s, move);
        tt_prefetch(tt, board.hash);
        ++moves_searched;
        const int score = search_move(s, ss, n.depth + extension - 1, reduction, n.alpha, n.beta,
            n.pv_node, moves_searched == 1, n.ply);
        undo_move(s, move);
        if (s.stopped)
            return 0;

        if (quiet && quiet_count < MAX_MOVES)
            quiets_tried[quiet_count++] = move;
        if (score <= best_score)
            continue;
        best_score     = score;
        best_node_move = move;
        update_pv(ss, move);
        n.alpha = std::max(n.alpha, score);
        if (score >= n.beta) {
            if (quiet)
                update_quiet_cutoff(s.ordering, board, move, quiets_tried, quiet_count, n.depth,
                    n.ply, prev.piece, prev.to);
            break;
        }
    }

    // Mate or stalemate only without a legal move; a node whose legal moves were all pruned
    // (or excluded) proves nothing and fails low.
    if (moves_searched == 0)
        return has_legal_move ? n.alpha : n.checked ? -(SCORE_MATE - n.ply) : 0;

    best_score      = std::min(best_score, n.tb_cap);
    const int bound = best_score >= n.beta ? BOUND_LOWER
        : best_score > n.entry_alpha       ? BOUND_EXACT
                                           : BOUND_UPPER;
    tt_store(tt, board.hash, best_score, bound, n.depth, best_node_move, n.ply);
    return best_score;
}

int search(SearchThread& s, PlyRecord* ss, int depth, int alpha, int beta, bool pv_node, int ply)
{
    if (s.stopped)
        return 0;
    count_node(s, ss, ply, true);
    Board& board = s.board;
    if (ply >= MAX_PLY)
        return evaluate(board, s.evaluator);
    if (depth <= 0)
        return quiescence(s, ss, alpha, beta, ply);

    // The root is always searched, so that a drawn root still gets a move and a score.
    if (ply > 0 && is_draw_by_rule(board))
        return 0;

    // Mate distance pruning: no line from here beats a mate already found nearer the root.
    Node n { depth, std::max(alpha, -(SCORE_MATE - ply)), std::min(beta, SCORE_MATE - ply - 1), ply,
        alpha, pv_node, false, false, SCORE_NONE, {}, -SCORE_INFINITE, SCORE_INFINITE };
    if (n.alpha >= n.beta)
        return n.alpha;

    n.hit = tt_probe(*s.control->tt, board.hash, ply);
    if (n.hit.found && !pv_node && n.hit.depth >= depth && tt_cuts_off(n.hit, n.alpha, n.beta))
        return n.hit.score;

    if (ply > 0 && s.control->tables.pieces > 0 && ss->excluded_move == NO_MOVE) {
        const int score
            = probe_tables(s, depth, n.alpha, n.beta, pv_node, ply, n.tb_floor, n.tb_cap);
        if (score != SCORE_NONE)
            return score;
        n.alpha = std::max(n.alpha, n.tb_floor);
    }

    n.checked   = in_check(board, board.side);
    n.eval      = static_evaluation(s, ss, n.checked);
    n.improving = is_improving(ss, ply);
    if (!n.checked && !pv_node) {
        const int score = prune_node(s, ss, depth, n.alpha, n.beta, n.eval, n.improving, ply);
        if (score != SCORE_NONE)
            return score;
    }

    // Internal iterative reduction: without a hash move this node is likely new; search it
    // shallower and let the next iteration find it in the table.
    if (n.hit.move == NO_MOVE && depth >= IIR_MIN_DEPTH)
        --n.depth;
    return search_moves(s, ss, n);
}

int quiescence(SearchThread& s, PlyRecord* ss, int alpha, int beta, int ply)
{
    if (s.stopped)
        return 0;
    count_node(s, ss, ply, false);
    Board& board = s.board;
    // search() hands its horizon nodes over before testing the fifty-move rule; below this
    // node only captures follow, which reset the clock.
    if (board.halfmove_clock >= 100)
        return is_checkmated(board) ? -(SCORE_MATE - ply) : 0;

    const int stand_pat = evaluate(board, s.evaluator);
    if (ply >= MAX_PLY || stand_pat >= beta)
        return stand_pat;
    alpha = std::max(alpha, stand_pat);

    TranspositionTable& tt = *s.control->tt;
    const TTHit hit        = tt_probe(tt, board.hash, ply);
    if (hit.found && tt_cuts_off(hit, alpha, beta))
        return hit.score;

    MoveList captures;
    std::int32_t values[MAX_MOVES];
    generate_captures(board, captures);
    // A capture below the delta-pruning floor is never searched, whatever its exact value.
    const int floor = alpha - stand_pat - QS_DELTA_MARGIN;
    for (int i = 0; i < captures.count; ++i)
        values[i] = see_from(board, captures.moves[i], floor);

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
        // margin (delta pruning), are left out; values only fall and alpha only rises, so
        // every later capture would be too.
        if (value < 0 || stand_pat + QS_DELTA_MARGIN + value < alpha)
            break;
        if (!move_is_legal(board, move))
            continue;

        do_move(s, move);
        tt_prefetch(tt, board.hash);
        const int score = -quiescence(s, ss + 1, -beta, -alpha, ply + 1);
        undo_move(s, move);
        if (s.stopped)
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

    tt_store(tt, board.hash, best, bound, 0, best_move_here, ply);
    return best;
}
