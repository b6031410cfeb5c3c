#include "search/think.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "movegen/movegen.h"
#include "platform/clock.h"
#include "search/search.h"
#include "search/tt.h"

constexpr std::int64_t UNLIMITED_TIME = (std::int64_t(1) << 62) - 1;

// Time control: the clock less a reserve, shared out over the moves expected to remain.
constexpr std::int64_t MOVE_OVERHEAD    = 100; // ms kept back for the GUI and the pipe
constexpr std::int64_t MOVETIME_RESERVE = 10;
constexpr int ASPIRATION_MIN_DEPTH      = 5;
constexpr int ASPIRATION_DELTA          = 25;
constexpr int ASPIRATION_GIVE_UP        = 31900; // past this the window opens fully

// Big (2.4 MB, mostly the continuation history): static, so that nothing is allocated per
// search and the histories outlive each search.
static Searcher searcher;

void clear_search_history() { clear_ordering(searcher.ordering); }

struct TimeBudget {
    std::int64_t soft_limit; // ms past which no new iteration starts
    std::int64_t hard_limit; // ms at which the running search stops
};

static std::int64_t moves_to_go_guess(std::int64_t time_left)
{
    return time_left < 1000 ? 60 : time_left < 5000 ? 40 : time_left < 15000 ? 30 : 25;
}

static TimeBudget time_budget(const SearchLimits& limits, int side)
{
    if (limits.infinite || limits.depth > 0 || limits.nodes > 0)
        return { UNLIMITED_TIME, UNLIMITED_TIME };
    if (limits.movetime > 0)
        return { limits.movetime - MOVETIME_RESERVE, limits.movetime - MOVETIME_RESERVE };

    const std::int32_t time = side == WHITE ? limits.wtime : limits.btime;
    const std::int32_t inc  = side == WHITE ? limits.winc : limits.binc;
    const std::int64_t t
        = std::max<std::int64_t>((time <= 0 ? MOVE_OVERHEAD : time) - MOVE_OVERHEAD, 10);
    const std::int64_t moves_to_go = limits.movestogo > 0 ? limits.movestogo : moves_to_go_guess(t);

    // The increment term is 32-bit; a huge increment wraps rather than overflowing.
    const auto inc_term     = static_cast<std::int32_t>(static_cast<std::uint32_t>(inc) * 3u) / 4;
    const std::int64_t base = t / moves_to_go + inc_term;
    const std::int64_t hard = std::min(3 * base, (2 * t) / 5);
    const std::int64_t soft = std::min(base, hard);
    return { std::max<std::int64_t>(soft, 5), std::max<std::int64_t>(hard, 10) };
}

// "cp 20", "mate 2" (giving mate), "mate -1" (getting mated).
struct ScoreText {
    char str[24];
};
static ScoreText score_to_uci(int score)
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

static void print_info(const Searcher& s, int depth, int score)
{
    const PlyRecord& root = s.stack[ROOT_STACK_INDEX];
    const auto elapsed    = static_cast<std::int64_t>(now_ms() - s.start_time);
    const std::uint64_t nps
        = elapsed > 0 ? s.nodes * 1000 / static_cast<std::uint64_t>(elapsed) : 0;
    std::printf("info depth %d seldepth %d score %s nodes %llu nps %llu time %lld pv", depth,
        s.seldepth, score_to_uci(score).str, static_cast<unsigned long long>(s.nodes),
        static_cast<unsigned long long>(nps), static_cast<long long>(elapsed));
    for (int i = 0; i < root.pv_length; ++i)
        std::printf(" %s", move_to_uci(root.pv[i]).str);
    std::printf("\n");
    std::fflush(stdout);
}

// Aspiration windows from ASPIRATION_MIN_DEPTH on: a narrow window around the previous score,
// widened on the failing side (by a doubling delta) until the score lands inside.
static int search_with_aspiration(Searcher& s, int depth, int previous_score)
{
    PlyRecord* root = &s.stack[ROOT_STACK_INDEX];
    if (depth < ASPIRATION_MIN_DEPTH)
        return search(s, root, depth, -SCORE_INFINITE, SCORE_INFINITE, true, 0);
    int alpha = previous_score - ASPIRATION_DELTA;
    int beta  = previous_score + ASPIRATION_DELTA;
    int delta = ASPIRATION_DELTA;
    for (;;) {
        const int score = search(s, root, depth, alpha, beta, true, 0);
        if (s.stopped || (score > alpha && score < beta))
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

SearchResult think(const Board& board, const SearchLimits& limits, bool (*poll)())
{
    Searcher& s            = searcher;
    s.board                = board;
    s.start_time           = now_ms();
    const TimeBudget times = time_budget(limits, board.side);
    s.hard_limit           = times.hard_limit;
    s.node_limit           = limits.nodes > 0 ? static_cast<std::uint64_t>(limits.nodes) : 0;
    s.poll                 = poll;
    s.nodes                = 0;
    s.seldepth             = 0;
    s.stopped              = false;
    std::memset(s.stack, 0, sizeof s.stack);
    ++tt_generation;
    age_ordering(s.ordering);

    // A search pushes up to MAX_PLY records onto the game history; make room if the caller
    // left a longer history than the position command keeps.
    if (s.board.undo_count > GAME_HISTORY_LIMIT)
        drop_oldest_history(s.board, s.board.undo_count - GAME_HISTORY_LIMIT);

    const int max_depth
        = limits.depth > 0 ? std::min<int>(limits.depth, MAX_SEARCH_DEPTH) : MAX_SEARCH_DEPTH;
    const PlyRecord& root = s.stack[ROOT_STACK_INDEX];
    Move best_move        = NO_MOVE;
    int previous_score    = 0;
    for (int depth = 1; depth <= max_depth && !s.stopped; ++depth) {
        s.iteration_depth = depth;
        const int score   = search_with_aspiration(s, depth, previous_score);
        // An interrupted iteration is discarded; depth 1 always completes.
        if ((s.stopped && depth > 1) || root.pv_length <= 0)
            break;
        previous_score = score;
        best_move      = root.pv[0];
        print_info(s, depth, score);
        if (static_cast<std::int64_t>(now_ms() - s.start_time) >= times.soft_limit)
            break;
    }

    if (best_move == NO_MOVE) {
        MoveList legal;
        generate_legal_moves(s.board, legal);
        if (legal.count > 0)
            best_move = legal.moves[0];
    }
    return { best_move, s.nodes, s.stopped };
}
