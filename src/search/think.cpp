#include "search/think.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "movegen/movegen.h"
#include "platform/clock.h"
#include "search/search.h"
#include "search/tablebase.h"
#include "search/threads.h"
#include "search/tt.h"

constexpr std::int64_t UNLIMITED_TIME = (std::int64_t(1) << 62) - 1;

// Time control: the clock less a reserve, shared out over the moves expected to remain.
constexpr std::int64_t MOVETIME_RESERVE = 10;
constexpr int ASPIRATION_MIN_DEPTH      = 5;
constexpr int ASPIRATION_DELTA          = 25;
constexpr int ASPIRATION_GIVE_UP        = SCORE_MATE; // past every mate the window opens fully

// Weakened play: below MAX_ELO, a node budget that doubles every STRENGTH_DOUBLING_ELO points
// up to STRENGTH_STEEP_ELO and every STRENGTH_STEEP_DOUBLING_ELO above (stockfish's scale, the
// reference, climbs faster there), and a choice among STRENGTH_LINES lines with a random bonus of
// up to STRENGTH_NOISE centipawns per 100 points below STRENGTH_QUIET_ELO; at MAX_ELO, full
// strength. Calibrated against stockfish's own UCI_Elo at 5+0.05.
constexpr int STRENGTH_LINES              = 4;
constexpr int STRENGTH_BASE_NODES         = 3300; // at STRENGTH_BASE_ELO
constexpr int STRENGTH_BASE_ELO           = 1500;
constexpr int STRENGTH_DOUBLING_ELO       = 115;
constexpr int STRENGTH_STEEP_ELO          = 1700;
constexpr int STRENGTH_STEEP_DOUBLING_ELO = 60;
constexpr int STRENGTH_NOISE              = 6;
constexpr int STRENGTH_QUIET_ELO          = 1900;
constexpr int STRENGTH_WON_SCORE          = 400; // played out with the best line

struct TimeBudget {
    std::int64_t soft_limit; // ms past which no new iteration starts
    std::int64_t hard_limit; // ms at which the running search stops
};

static std::int64_t moves_to_go_guess(std::int64_t time_left)
{
    return time_left < 1000 ? 60 : time_left < 5000 ? 40 : time_left < 15000 ? 30 : 25;
}

// A mate search without a clock of its own runs until it finds the mate.
static TimeBudget time_budget(const SearchLimits& limits, int side)
{
    const std::int32_t time = side == WHITE ? limits.wtime : limits.btime;
    const std::int32_t inc  = side == WHITE ? limits.winc : limits.binc;
    if (limits.infinite || limits.depth > 0 || limits.nodes > 0
        || (limits.mate > 0 && time <= 0 && limits.movetime <= 0))
        return { UNLIMITED_TIME, UNLIMITED_TIME };
    if (limits.movetime > 0)
        return { limits.movetime - MOVETIME_RESERVE, limits.movetime - MOVETIME_RESERVE };

    const std::int64_t overhead = limits.move_overhead;
    const std::int64_t t = std::max<std::int64_t>((time <= 0 ? overhead : time) - overhead, 10);
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
    if (is_mate(score))
        std::snprintf(text.str, sizeof text.str, "mate %d", mate_in_moves(score));
    else
        std::snprintf(text.str, sizeof text.str, "cp %d", score);
    return text;
}

// One principal variation of a completed iteration.
struct RootLine {
    int score;
    int pv_length;
    Move pv[MAX_PLY];
};

// `multipv` is the line's number, or 0 when only one line is searched (and none is printed).
static void print_info(const Searcher& s, int depth, const RootLine& line, int multipv)
{
    const auto elapsed        = static_cast<std::int64_t>(now_ms() - s.start_time);
    const std::uint64_t nodes = nodes_of_all_threads();
    const std::uint64_t nps = elapsed > 0 ? nodes * 1000 / static_cast<std::uint64_t>(elapsed) : 0;
    std::printf("info depth %d seldepth %d", depth, s.seldepth);
    if (multipv > 0)
        std::printf(" multipv %d", multipv);
    std::printf(" score %s nodes %llu nps %llu", score_to_uci(line.score).str,
        static_cast<unsigned long long>(nodes), static_cast<unsigned long long>(nps));
    if (tb_largest() > 0)
        std::printf(" tbhits %llu", static_cast<unsigned long long>(tb_hits_of_all_threads()));
    std::printf(" time %lld pv", static_cast<long long>(elapsed));
    for (int i = 0; i < line.pv_length; ++i)
        std::printf(" %s", move_to_uci(line.pv[i]).str);
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

// The legal moves the search may play: those listed by searchmoves, or all when none of
// those is legal.
static int allowed_root_moves(const Board& board, const SearchLimits& limits, Move* out)
{
    MoveList legal;
    generate_legal_moves(board, legal);
    int count = 0;
    for (int i = 0; i < legal.count; ++i) {
        const Move* listed_end = limits.searchmoves + limits.searchmove_count;
        if (std::find(limits.searchmoves, listed_end, legal.moves[i]) != listed_end)
            out[count++] = legal.moves[i];
    }
    if (count > 0)
        return count;
    for (int i = 0; i < legal.count; ++i)
        out[i] = legal.moves[i];
    return legal.count;
}

// The endgame tables' verdict on the allowed root moves, when they have one: moves sorted
// best rank first, with the score each proves.
struct RootRanking {
    bool ranked;
    int ranks[MAX_MOVES];
    int scores[MAX_MOVES];
};

static void rank_root_moves(const Board& board, Move* allowed, int count, RootRanking& r)
{
    r.ranked = tb_rank_root_moves(board, allowed, count, r.ranks, r.scores);
    if (!r.ranked)
        return;
    int order[MAX_MOVES];
    for (int i = 0; i < count; ++i)
        order[i] = i;
    std::stable_sort(order, order + count, [&r](int x, int y) { return r.ranks[x] > r.ranks[y]; });
    const RootRanking unsorted = r;
    Move moves[MAX_MOVES];
    for (int i = 0; i < count; ++i) {
        moves[i]    = allowed[order[i]];
        r.ranks[i]  = unsorted.ranks[order[i]];
        r.scores[i] = unsorted.scores[order[i]];
    }
    for (int i = 0; i < count; ++i)
        allowed[i] = moves[i];
}

// A ranked root shows the result its move keeps, unless the search proves a mate.
static int shown_score(const RootRanking& r, const Move* allowed, int count, const RootLine& line)
{
    if (!r.ranked || is_mate(line.score))
        return line.score;
    const int i = static_cast<int>(std::find(allowed, allowed + count, line.pv[0]) - allowed);
    return i < count ? r.scores[i] : line.score;
}

// The root moves of line `index`: the allowed ones less the first moves of the lines before,
// and of those, on a ranked root, only the best rank left.
static void restrict_root(Searcher& s, const Move* allowed, int allowed_count,
    const RootLine* lines, int index, const RootRanking& ranking)
{
    s.root_move_count = 0;
    int rank          = 0;
    for (int i = 0; i < allowed_count; ++i) {
        bool taken = false;
        for (int k = 0; k < index; ++k)
            taken = taken || lines[k].pv[0] == allowed[i];
        if (taken)
            continue;
        if (ranking.ranked && s.root_move_count > 0 && ranking.ranks[i] < rank)
            break;
        rank                              = ranking.ranked ? ranking.ranks[i] : 0;
        s.root_moves[s.root_move_count++] = allowed[i];
    }
}

// While pondering the clock waits: the budget is kept for the ponder hit.
static void set_limits(Searcher& s, const SearchLimits& limits, SearchEvent (*poll)())
{
    const TimeBudget times = time_budget(limits, s.board.side);
    s.start_time           = now_ms();
    s.clock_start          = s.start_time;
    s.pondering            = limits.ponder;
    s.ponder_soft_limit    = times.soft_limit;
    s.ponder_hard_limit    = times.hard_limit;
    s.soft_limit           = limits.ponder ? UNLIMITED_TIME : times.soft_limit;
    s.hard_limit           = limits.ponder ? UNLIMITED_TIME : times.hard_limit;
    s.node_limit           = limits.nodes > 0 ? static_cast<std::uint64_t>(limits.nodes) : 0;
    s.check_mask           = 1023;
    s.poll                 = poll;
}

// Is the mover's score a mate in at most `moves` moves?
static bool is_mate_within(int score, int moves)
{
    return is_mate(score) && score > 0 && mate_in_moves(score) <= moves;
}

static std::uint64_t strength_node_budget(int elo)
{
    const double doublings
        = double(std::min(elo, STRENGTH_STEEP_ELO) - STRENGTH_BASE_ELO) / STRENGTH_DOUBLING_ELO
        + double(std::max(elo - STRENGTH_STEEP_ELO, 0)) / STRENGTH_STEEP_DOUBLING_ELO;
    return static_cast<std::uint64_t>(STRENGTH_BASE_NODES * std::exp2(doublings));
}

// The line a weakened engine plays: each line's score gets a random bonus, and the best sum
// wins. A clearly won position is played out with the best line, so that won endings are
// converted; a line that gets mated never wins.
static int weakened_choice(const RootLine* lines, int count, int elo)
{
    static std::uint64_t random_state = now_ms() | 1;
    if (lines[0].score >= STRENGTH_WON_SCORE)
        return 0;
    const int spread = std::max(STRENGTH_QUIET_ELO - elo, 0) * STRENGTH_NOISE / 100 + 1;
    int chosen = 0, chosen_value = -SCORE_INFINITE;
    for (int i = 0; i < count; ++i) {
        random_state ^= random_state << 13;
        random_state ^= random_state >> 7;
        random_state ^= random_state << 17;
        const int value = lines[i].score + static_cast<int>(random_state % spread);
        if (!(is_decisive(lines[i].score) && lines[i].score < 0) && value > chosen_value) {
            chosen       = i;
            chosen_value = value;
        }
    }
    return chosen;
}

// Helpers search every allowed root move, each from depth 1 on; to spread them over the
// tree, helper i skips the depths d for which (d + phase) / size is odd, with size and phase
// from its row: pairs of helpers alternate the depths one by one, the next four two by two...
static const int SKIP_SIZE[]  = { 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4 };
static const int SKIP_PHASE[] = { 0, 1, 0, 1, 2, 3, 0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5, 6, 7 };
constexpr int SKIP_ROWS       = 20;

static void helper_search(Searcher& s)
{
    const int row       = (s.thread_index - 1) % SKIP_ROWS;
    const int max_depth = helper_depth_limit();
    int previous        = 0;
    for (int depth = 1; depth <= max_depth && !s.stopped; ++depth) {
        if (depth > 1 && depth < max_depth && ((depth + SKIP_PHASE[row]) / SKIP_SIZE[row]) % 2 != 0)
            continue;
        s.iteration_depth = depth;
        const int score   = search_with_aspiration(s, depth, previous);
        if (s.stopped)
            break;
        previous = score;
        report_helper_iteration(s, depth, score);
    }
}

// A helper's searcher before its search: the main thread's root and root moves, no limits of
// its own (it stops with the main thread).
static void prepare_helper(Searcher& h, const Searcher& main, const Move* allowed, int count)
{
    h.board           = main.board;
    h.root_move_count = count;
    std::copy(allowed, allowed + count, h.root_moves);
    h.start_time      = main.start_time;
    h.clock_start     = main.clock_start;
    h.soft_limit      = UNLIMITED_TIME;
    h.hard_limit      = UNLIMITED_TIME;
    h.node_limit      = 0;
    h.check_mask      = 1023;
    h.pondering       = false;
    h.poll            = nullptr;
    h.follows_helpers = false;
    h.tb_pieces       = main.tb_pieces;
    h.nodes.store(0, std::memory_order_relaxed);
    h.tb_hits.store(0, std::memory_order_relaxed);
    h.seldepth = 0;
    h.stopped  = false;
    std::memset(h.stack, 0, sizeof h.stack);
    reset_accumulators(h.accumulators);
    age_ordering(h.ordering);
}

SearchResult think(const Board& board, const SearchLimits& limits, SearchEvent (*poll)())
{
    Searcher& s = searcher_of(0);
    s.board     = board;
    // A search pushes up to MAX_PLY records onto the game history; make room if the caller
    // left a longer history than the position command keeps.
    if (s.board.undo_count > GAME_HISTORY_LIMIT)
        drop_oldest_history(s.board, s.board.undo_count - GAME_HISTORY_LIMIT);
    reset_accumulators(s.accumulators);
    set_limits(s, limits, poll);
    s.nodes.store(0, std::memory_order_relaxed);
    s.seldepth     = 0;
    s.stopped      = false;
    s.helper_ahead = false;
    std::memset(s.stack, 0, sizeof s.stack);
    ++tt_generation;
    age_ordering(s.ordering);

    static Move allowed[MAX_MOVES];
    static RootLine lines[MAX_MULTIPV], completed[MAX_MULTIPV];
    const int allowed_count = allowed_root_moves(s.board, limits, allowed);
    const int shown_lines   = std::clamp(limits.multipv, 1, std::max(allowed_count, 1));
    const bool weakened     = limits.strength_elo > 0 && limits.strength_elo < MAX_ELO;
    const int line_count    = std::min(
           weakened ? std::max(shown_lines, STRENGTH_LINES) : shown_lines, std::max(allowed_count, 1));
    // Against a bare king the budget is lifted, so that a won ending is converted.
    const Board& b  = s.board;
    const bool bare = b.occupancy[b.side ^ 1] == b.pieces[make_piece(b.side ^ 1, KING)];
    if (weakened && !bare) {
        const std::uint64_t budget = strength_node_budget(limits.strength_elo);
        s.node_limit               = s.node_limit ? std::min(s.node_limit, budget) : budget;
        s.check_mask               = 63; // budgets are small: keep to them closely
    }
    // Endgame tables: a weakened engine plays without them. On a root they rank, only the
    // moves of the best rank are searched (line by line, the best rank left).
    static RootRanking ranking;
    ranking.ranked = false;
    s.tb_pieces    = weakened ? 0 : tb_piece_limit();
    if (s.tb_pieces > 0)
        rank_root_moves(s.board, allowed, allowed_count, ranking);
    s.tb_hits.store(ranking.ranked ? allowed_count : 0, std::memory_order_relaxed);
    int best_rank_count = allowed_count;
    while (ranking.ranked && best_rank_count > 1
        && ranking.ranks[best_rank_count - 1] < ranking.ranks[0])
        --best_rank_count;

    const int max_depth
        = limits.depth > 0 ? std::min<int>(limits.depth, MAX_SEARCH_DEPTH) : MAX_SEARCH_DEPTH;
    // A weakened engine plays on one thread: its node budget is the limit it is tuned to. With
    // one line, the main thread takes over a helper's line once the helper is deeper.
    const bool helped = !weakened && allowed_count > 0 && thread_count() > 1;
    s.follows_helpers = helped && line_count == 1;
    if (helped) {
        for (int index = 1; index < thread_count(); ++index)
            prepare_helper(searcher_of(index), s, allowed, best_rank_count);
        start_helpers(helper_search, max_depth);
    }
    int previous_scores[MAX_MULTIPV] = {};
    int completed_count              = 0;
    const PlyRecord& root            = s.stack[ROOT_STACK_INDEX];

    for (int depth = 1; depth <= max_depth && !s.stopped; ++depth) {
        s.iteration_depth = depth;
        int done          = 0;
        for (; done < line_count; ++done) {
            restrict_root(s, allowed, allowed_count, lines, done, ranking);
            const int score = search_with_aspiration(s, depth, previous_scores[done]);
            // An interrupted iteration is discarded; depth 1 always completes.
            if ((s.stopped && depth > 1) || root.pv_length <= 0)
                break;
            previous_scores[done] = score;
            lines[done].score     = score;
            lines[done].pv_length = root.pv_length;
            for (int i = 0; i < root.pv_length; ++i)
                lines[done].pv[i] = root.pv[i];
        }
        if (done < line_count && !s.helper_ahead)
            break;
        if (done < line_count) {
            const HelperLine ahead = deepest_helper_line();
            depth                  = ahead.depth;
            s.seldepth             = std::max(s.seldepth, ahead.seldepth);
            s.stopped = s.helper_ahead = false;
            previous_scores[0] = lines[0].score = ahead.score;
            lines[0].pv_length                  = ahead.pv_length;
            std::copy(ahead.pv, ahead.pv + ahead.pv_length, lines[0].pv);
        }
        for (int i = 0; i < line_count; ++i)
            lines[i].score = shown_score(ranking, allowed, allowed_count, lines[i]);
        std::stable_sort(lines, lines + line_count,
            [](const RootLine& x, const RootLine& y) { return x.score > y.score; });
        for (int i = 0; i < shown_lines && !limits.silent; ++i)
            print_info(s, depth, lines[i], shown_lines > 1 ? i + 1 : 0);
        for (int i = 0; i < line_count; ++i)
            completed[i] = lines[i];
        completed_count = line_count;
        if ((limits.mate > 0 && is_mate_within(completed[0].score, limits.mate))
            || static_cast<std::int64_t>(now_ms() - s.clock_start) >= s.soft_limit)
            break;
    }

    stop_helpers();
    SearchResult result { NO_MOVE, NO_MOVE, nodes_of_all_threads(), 0, s.stopped };
    if (completed_count > 0) {
        const RootLine& line
            = completed[weakened ? weakened_choice(completed, completed_count, limits.strength_elo)
                                 : 0];
        result.best_move   = line.pv[0];
        result.ponder_move = line.pv_length > 1 ? line.pv[1] : NO_MOVE;
        result.score       = line.score;
    } else if (allowed_count > 0) {
        result.best_move = allowed[0];
    }
    return result;
}
