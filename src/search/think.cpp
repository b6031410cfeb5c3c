#include "search/think.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "movegen/movegen.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "search/move_picker.h"
#include "search/search.h"
#include "search/tt.h"

TimeBudget time_budget;
Move best_move;
std::uint64_t node_limit;
bool poll_for_stop;

// 132 records of about 270 bytes: static, so that nothing is allocated per search.
static PlyRecord search_stack[SEARCH_STACK_SIZE];

TimeBudget compute_time_budget(const SearchLimits& limits, int side)
{
    TimeBudget budget;
    budget.start_time = now_ms();
    if (limits.infinite || limits.depth > 0 || limits.nodes > 0) {
        budget.soft_limit = UNLIMITED_TIME;
        budget.hard_limit = UNLIMITED_TIME;
        return budget;
    }
    if (limits.movetime > 0) {
        budget.soft_limit = std::int64_t(limits.movetime) - 10;
        budget.hard_limit = budget.soft_limit;
        return budget;
    }

    const std::int32_t time = side == WHITE ? limits.wtime : limits.btime;
    const std::int32_t inc  = side == WHITE ? limits.winc : limits.binc;
    std::int64_t t          = (time <= 0 ? 100 : std::int64_t(time)) - 100;
    t                       = std::max<std::int64_t>(t, 10);

    std::int64_t moves_to_go;
    if (limits.movestogo > 0)
        moves_to_go = limits.movestogo;
    else if (t < 1000)
        moves_to_go = 60;
    else if (t < 5000)
        moves_to_go = 40;
    else if (t < 15000)
        moves_to_go = 30;
    else
        moves_to_go = 25;

    // The increment term is 32-bit; a huge increment wraps rather than overflowing.
    const auto inc_term     = static_cast<std::int32_t>(static_cast<std::uint32_t>(inc) * 3u) / 4;
    const std::int64_t base = t / moves_to_go + inc_term;
    const std::int64_t hard = std::min(3 * base, (2 * t) / 5);
    const std::int64_t soft = std::min(base, hard);
    budget.soft_limit       = std::max<std::int64_t>(soft, 5);
    budget.hard_limit       = std::max<std::int64_t>(hard, 10);
    return budget;
}

ScoreText score_to_uci(int score)
{
    ScoreText text;
    if (score >= SCORE_MATE_BOUND)
        std::snprintf(text.str, sizeof text.str, "mate %d", (SCORE_MATE + 1 - score) / 2);
    else if (score <= -SCORE_MATE_BOUND)
        std::snprintf(text.str, sizeof text.str, "mate %d", -((score + SCORE_MATE + 1) / 2));
    else
        std::snprintf(text.str, sizeof text.str, "cp %d", score);
    return text;
}

AspirationWindow initial_aspiration_window(int previous_score)
{
    return { previous_score - 25, previous_score + 25, 25 };
}

bool widen_aspiration_window(AspirationWindow& window, int score)
{
    if (score <= window.alpha)
        window.alpha -= window.delta;
    else if (score >= window.beta)
        window.beta += window.delta;
    else
        return false;
    window.delta *= 2;
    if (window.alpha < -31900)
        window.alpha = -SCORE_INFINITE;
    if (window.beta > 31900)
        window.beta = SCORE_INFINITE;
    return true;
}

static void print_info(int depth, int score, const PlyRecord& root)
{
    const auto elapsed = static_cast<std::int64_t>(now_ms() - time_budget.start_time);
    const std::uint64_t nps
        = elapsed > 0 ? node_count * 1000 / static_cast<std::uint64_t>(elapsed) : 0;
    std::printf("info depth %d seldepth %d score ", depth, seldepth);
    std::printf("%s", score_to_uci(score).str);
    std::printf(" nodes %llu nps %llu time %lld pv", static_cast<unsigned long long>(node_count),
        static_cast<unsigned long long>(nps), static_cast<long long>(elapsed));
    for (int i = 0; i < root.pv_length; ++i)
        std::printf(" %s", move_to_uci(root.pv[i]).str);
    std::printf("\n");
    std::fflush(stdout);
}

static int search_with_aspiration(Board& board, PlyRecord* root, int depth, int previous_score)
{
    if (depth <= 4)
        return search(board, root, depth, -SCORE_INFINITE, SCORE_INFINITE, true, 0);
    AspirationWindow window = initial_aspiration_window(previous_score);
    int score               = search(board, root, depth, window.alpha, window.beta, true, 0);
    while (!stop_flag && widen_aspiration_window(window, score))
        score = search(board, root, depth, window.alpha, window.beta, true, 0);
    return score;
}

void think(Board& board, const SearchLimits& limits)
{
    node_count  = 0;
    seldepth    = 0;
    stop_flag   = 0;
    best_move   = NO_MOVE;
    time_budget = compute_time_budget(limits, board.side);
    node_limit  = limits.nodes > 0 ? static_cast<std::uint64_t>(limits.nodes) : 0;
    // Only a search without any limit of its own listens for "stop"; all others run to their
    // limits without touching the input.
    poll_for_stop = limits.infinite && limits.depth <= 0 && limits.nodes <= 0;

    ++tt_generation;
    age_move_ordering();
    std::memset(search_stack, 0, sizeof search_stack);

    // A search pushes up to MAX_PLY records onto the game history; make room if a caller
    // left a longer history than the position command keeps.
    if (board.undo_count > GAME_HISTORY_LIMIT)
        drop_oldest_history(board, board.undo_count - GAME_HISTORY_LIMIT);

    const int max_depth
        = limits.depth > 0 ? std::min<int>(limits.depth, MAX_SEARCH_DEPTH) : MAX_SEARCH_DEPTH;
    PlyRecord* root    = &search_stack[ROOT_STACK_INDEX];
    int previous_score = 0;
    for (int depth = 1;; ++depth) {
        if (stop_flag)
            break;
        iteration_depth = depth;
        const int score = search_with_aspiration(board, root, depth, previous_score);
        // An interrupted iteration is discarded; depth 1 always completes.
        if (stop_flag && depth > 1)
            break;
        previous_score = score;
        if (root->pv_length <= 0)
            break;
        best_move = root->pv[0];
        print_info(depth, score, *root);
        if (static_cast<std::int64_t>(now_ms() - time_budget.start_time) >= time_budget.soft_limit)
            break;
        if (depth + 1 > max_depth)
            break;
    }

    if (best_move == NO_MOVE) {
        MoveList legal;
        generate_legal_moves(board, legal);
        if (legal.count > 0)
            best_move = legal.moves[0];
    }

    // UCI: a search in infinite mode must not answer before "stop", even when it has nothing
    // left to search.
    if (poll_for_stop && !stop_flag)
        wait_for_stop();

    std::printf("bestmove %s\n", move_to_uci(best_move).str);
    std::fflush(stdout);
}
