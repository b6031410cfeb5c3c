#include "search/think.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "search/strength.h"

constexpr int ASPIRATION_MIN_DEPTH = 5;
constexpr int ASPIRATION_DELTA     = 25;
constexpr int ASPIRATION_GIVE_UP   = SCORE_MATE; // past every mate the window opens fully

// Aspiration windows from ASPIRATION_MIN_DEPTH on: a narrow window around the previous score,
// widened on the failing side (by a doubling delta) until the score lands inside.
static int search_with_aspiration(SearchThread& t, int depth, int previous_score)
{
    PlyRecord* root = &t.stack[ROOT_STACK_INDEX];
    if (depth < ASPIRATION_MIN_DEPTH)
        return search(t, root, depth, -SCORE_INFINITE, SCORE_INFINITE, true, 0);
    int alpha = previous_score - ASPIRATION_DELTA;
    int beta  = previous_score + ASPIRATION_DELTA;
    int delta = ASPIRATION_DELTA;
    for (;;) {
        const int score = search(t, root, depth, alpha, beta, true, 0);
        if (t.stopped || (score > alpha && score < beta))
            return score;
        if (score <= alpha)
            alpha -= delta;
        else
            beta += delta;
        delta *= 2;
        alpha = alpha < -ASPIRATION_GIVE_UP ? -SCORE_INFINITE : alpha;
        beta  = beta > ASPIRATION_GIVE_UP ? SCORE_INFINITE : beta;
    }
}

// A thread's record before a search of `board`, whose moves are `moves`.
static void prepare_thread(SearchThread& t, const Board& board, const Move* moves, int count)
{
    const SearchControl& control = *t.control;
    t.board                      = board;
    start_evaluation(t.evaluator, t.board, control.style, control.network);
    t.root_move_count = count;
    std::copy(moves, moves + count, t.root_moves);
    t.nodes.store(0, std::memory_order_relaxed);
    t.tb_hits.store(0, std::memory_order_relaxed);
    t.seldepth     = 0;
    t.stopped      = false;
    t.helper_ahead = false;
    std::memset(t.stack, 0, sizeof t.stack);
    age_ordering(t.ordering);
}

// Helpers search every move of the best rank, each from depth 1 on; to spread them over the
// tree, helper i skips the depths d for which (d + phase) / size is odd, with size and phase
// from its row: pairs of helpers alternate the depths one by one, the next four two by two...
static const int SKIP_SIZE[]  = { 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4 };
static const int SKIP_PHASE[] = { 0, 1, 0, 1, 2, 3, 0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5, 6, 7 };
constexpr int SKIP_ROWS       = 20;

static void helper_search(SearchThread& t)
{
    SearchControl& control = *t.control;
    const int row          = (t.index - 1) % SKIP_ROWS;
    const int max_depth    = control.helper_max_depth;
    int previous           = 0;
    for (int depth = 1; depth <= max_depth && !t.stopped; ++depth) {
        if (depth > 1 && depth < max_depth && ((depth + SKIP_PHASE[row]) / SKIP_SIZE[row]) % 2 != 0)
            continue;
        t.iteration_depth = depth;
        const int score   = search_with_aspiration(t, depth, previous);
        if (t.stopped)
            break;
        previous              = score;
        const PlyRecord& root = t.stack[ROOT_STACK_INDEX];
        report_helper_iteration(control, depth, t.seldepth, score, root.pv, root.pv_length);
    }
}

// The main thread's clock and limits. While pondering the clock waits: the budget is kept for
// the ponder hit.
static void set_clock(SearchClock& clock, const SearchLimits& limits, const SearchSetup& setup,
    int side, const SearchHooks& hooks)
{
    const TimeBudget budget = time_budget(limits, side, setup.move_overhead);
    clock.start_time        = now_ms();
    clock.clock_start       = clock.start_time;
    clock.pondering         = limits.ponder;
    clock.ponder_soft_limit = budget.soft_limit;
    clock.ponder_hard_limit = budget.hard_limit;
    clock.soft_limit        = limits.ponder ? UNLIMITED_TIME : budget.soft_limit;
    clock.hard_limit        = limits.ponder ? UNLIMITED_TIME : budget.hard_limit;
    clock.node_limit        = limits.nodes > 0 ? static_cast<std::uint64_t>(limits.nodes) : 0;
    clock.check_mask        = 1023;
    clock.poll              = hooks.poll;
    clock.currmove          = hooks.currmove;
    clock.context           = hooks.context;
    clock.next_currmove     = clock.start_time + CURRMOVE_DELAY;
    clock.completed_score   = -SCORE_INFINITE;
}

// A weakened engine keeps to its node budget closely, except against a bare king, so that a
// won ending is converted.
static void limit_strength(SearchClock& clock, const Board& board, int elo)
{
    if (board.occupancy[board.side ^ 1] == board.pieces[make_piece(board.side ^ 1, KING)])
        return;
    const std::uint64_t budget = strength_node_budget(elo);
    clock.node_limit           = clock.node_limit ? std::min(clock.node_limit, budget) : budget;
    clock.check_mask           = 63;
}

// Searches lines 0..line_count-1 of one iteration; false when one was interrupted (depth 1
// always completes) or found nothing. Line k aims at the score of the last iteration's line k.
static bool search_lines(SearchThread& t, RootMoves& root, int depth, int line_count)
{
    const PlyRecord& top = t.stack[ROOT_STACK_INDEX];
    int aims[MAX_MULTIPV];
    for (int line = 0; line < line_count; ++line)
        aims[line] = root.moves[line].previous_score;
    for (int line = 0; line < line_count; ++line) {
        t.root_move_count = line_moves(root, line, t.root_moves);
        const int score   = search_with_aspiration(t, depth, aims[line]);
        if ((t.stopped && depth > 1) || top.pv_length <= 0)
            return false;
        set_line(root, line, score, top.pv, top.pv_length);
    }
    return true;
}

// The main thread left its iteration because a helper had completed it: the helper's line is
// taken as the iteration's, which returns its depth; 0 when a deeper line that scores less than
// the main thread's came meanwhile, and the iteration must be searched again.
static int take_helper_line(SearchThread& t, RootMoves& root)
{
    const HelperLine ahead = deepest_helper_line(*t.control);
    t.stopped = t.helper_ahead = false;
    if (ahead.score < t.control->clock.completed_score)
        return 0;
    t.seldepth = std::max(t.seldepth, ahead.seldepth);
    set_line(root, 0, ahead.score, ahead.pv, ahead.pv_length);
    return ahead.depth;
}

static void report_lines(const SearchThread& t, const RootMoves& root, int depth, int shown_lines,
    const SearchHooks& hooks)
{
    if (!hooks.info)
        return;
    const SearchControl& control = *t.control;
    const auto elapsed           = static_cast<std::int64_t>(now_ms() - control.clock.start_time);
    const std::uint64_t nodes    = total_nodes(control);
    const std::uint64_t nps = elapsed > 0 ? nodes * 1000 / static_cast<std::uint64_t>(elapsed) : 0;
    for (int i = 0; i < shown_lines; ++i) {
        const RootMove& line = root.completed[i];
        const bool proven    = root.ranked && line.score == line.tb_score && !is_mate(line.score);
        hooks.info(hooks.context,
            { &t.board, depth, t.seldepth, shown_lines > 1 ? i + 1 : 0, i == shown_lines - 1,
                line.score, proven, nodes, nps, elapsed, total_tb_hits(control), line.pv,
                line.pv_length });
    }
}

// Is the mover's score a mate in at most `moves` moves?
static bool is_mate_within(int score, int moves)
{
    return is_mate(score) && score > 0 && mate_in_moves(score) <= moves;
}

// Iterative deepening on the main thread, until a limit, the depth or a wanted mate.
static void iterate(SearchThread& t, RootMoves& root, const SearchLimits& limits, int max_depth,
    int line_count, int shown_lines, const SearchHooks& hooks)
{
    SearchClock& clock = t.control->clock;
    for (int depth = 1; depth <= max_depth && !t.stopped; ++depth) {
        t.iteration_depth = depth;
        if (!search_lines(t, root, depth, line_count)) {
            if (!t.helper_ahead)
                break;
            const int taken = take_helper_line(t, root);
            if (taken == 0) {
                --depth;
                continue;
            }
            depth = taken;
        }
        complete_lines(root, line_count);
        clock.completed_score = root.completed[0].score;
        report_lines(t, root, depth, shown_lines, hooks);
        if ((limits.mate > 0 && is_mate_within(root.completed[0].score, limits.mate))
            || static_cast<std::int64_t>(now_ms() - clock.clock_start) >= clock.soft_limit)
            break;
    }
}

SearchResult think(ThreadPool& pool, TranspositionTable& tt, const Board& board,
    const SearchLimits& limits, const SearchSetup& setup, const SearchHooks& hooks)
{
    SearchControl& control = pool.control;
    SearchThread& t        = *pool.main;
    RootMoves& root        = pool.root;
    const bool weakened    = is_weakened(setup.strength_elo);
    control.style          = setup.style;
    control.network        = setup.network;
    control.tt             = &tt;
    control.tables         = setup.tables;
    control.tables.pieces  = weakened ? 0 : setup.tables.pieces; // a weakened engine plays without
    tt_new_search(tt);

    prepare_thread(t, board, nullptr, 0);
    // A search pushes up to MAX_PLY records onto the game history; make room if the caller
    // left a longer history than the position command keeps.
    if (t.board.undo_count > GAME_HISTORY_LIMIT) {
        drop_oldest_history(t.board, t.board.undo_count - GAME_HISTORY_LIMIT);
        reset_accumulators(
            t.evaluator.accumulators, t.evaluator.refresh, t.board, t.evaluator.network);
    }
    set_clock(control.clock, limits, setup, t.board.side, hooks);
    if (weakened)
        limit_strength(control.clock, t.board, setup.strength_elo);
    collect_root_moves(root, t.board, limits.searchmoves, limits.searchmove_count, control.tables);
    t.tb_hits.store(root.ranked ? root.count : 0, std::memory_order_relaxed);

    const int shown_lines = std::clamp(setup.multipv, 1, std::max(root.count, 1));
    const int line_count  = std::min(
         weakened ? std::max(shown_lines, STRENGTH_LINES) : shown_lines, std::max(root.count, 1));
    const int max_depth
        = limits.depth > 0 ? std::min<int>(limits.depth, MAX_SEARCH_DEPTH) : MAX_SEARCH_DEPTH;
    // A weakened engine plays on one thread: its node budget is the limit it is tuned to. With
    // one line, the main thread takes over a helper's line once the helper is deeper.
    const bool helped             = !weakened && root.count > 0 && thread_count(pool) > 1;
    control.clock.follows_helpers = helped && line_count == 1;
    if (helped) {
        Move moves[MAX_MOVES];
        const int count = line_moves(root, 0, moves);
        for (int index = 1; index < thread_count(pool); ++index)
            prepare_thread(thread_of(pool, index), t.board, moves, count);
        control.helper_max_depth = max_depth;
        start_helpers(pool, helper_search);
    }
    iterate(t, root, limits, max_depth, line_count, shown_lines, hooks);
    stop_helpers(pool);

    SearchResult result { NO_MOVE, NO_MOVE, total_nodes(control), 0, t.stopped };
    if (root.completed_count > 0) {
        const RootMove& line
            = root.completed[weakened ? weakened_choice(root.completed, root.completed_count,
                                 setup.strength_elo, control.strength_random)
                                      : 0];
        result.best_move   = line.pv[0];
        result.ponder_move = line.pv_length > 1 ? line.pv[1] : NO_MOVE;
        result.score       = line.score;
    } else if (root.count > 0) {
        result.best_move = root.moves[0].move;
    }
    return result;
}
