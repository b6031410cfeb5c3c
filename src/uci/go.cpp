#include "uci/go.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "eval/wdl.h"
#include "platform/clock.h"
#include "uci/position.h"
#include "uci/text.h"

// The keywords of "go", matched by prefix at the start of each word: a number follows most,
// flags stand alone, and searchmoves takes the moves up to the next keyword. Unknown words
// are skipped.
struct GoKeyword {
    std::string_view word;
    std::int32_t SearchLimits::*number;
    bool SearchLimits::*flag;
};

static const GoKeyword GO_KEYWORDS[] = {
    { "wtime", &SearchLimits::wtime, nullptr },
    { "btime", &SearchLimits::btime, nullptr },
    { "winc", &SearchLimits::winc, nullptr },
    { "binc", &SearchLimits::binc, nullptr },
    { "movestogo", &SearchLimits::movestogo, nullptr },
    { "movetime", &SearchLimits::movetime, nullptr },
    { "depth", &SearchLimits::depth, nullptr },
    { "nodes", &SearchLimits::nodes, nullptr },
    { "mate", &SearchLimits::mate, nullptr },
    { "infinite", nullptr, &SearchLimits::infinite },
    { "ponder", nullptr, &SearchLimits::ponder },
    { "searchmoves", nullptr, nullptr },
};

static const GoKeyword* go_keyword_at(std::string_view line, std::size_t pos)
{
    for (const GoKeyword& keyword : GO_KEYWORDS)
        if (starts_with(line, pos, keyword.word))
            return &keyword;
    return nullptr;
}

// The legal moves listed from `pos` up to the next keyword; other words are skipped.
static std::size_t read_searchmoves(
    std::string_view line, std::size_t pos, Board& board, SearchLimits& limits)
{
    for (pos = skip_spaces(line, pos); pos < line.size() && !go_keyword_at(line, pos);
         pos = skip_spaces(line, skip_word(line, pos))) {
        const Move move        = uci_to_move(board, line.substr(pos));
        Move* const listed_end = limits.searchmoves + limits.searchmove_count;
        if (move != NO_MOVE && std::find(limits.searchmoves, listed_end, move) == listed_end)
            limits.searchmoves[limits.searchmove_count++] = move;
    }
    return pos;
}

static SearchLimits parse_go(std::string_view line, Board& board)
{
    SearchLimits limits = {};
    std::size_t pos     = 2;
    while (pos < line.size()) {
        pos                      = skip_spaces(line, pos);
        const GoKeyword* keyword = go_keyword_at(line, pos);
        if (keyword) {
            pos += keyword->word.size();
            if (keyword->number)
                limits.*keyword->number = parse_int(line.substr(pos));
            else if (keyword->flag)
                limits.*keyword->flag = true;
            else {
                pos = read_searchmoves(line, pos, board, limits);
                continue; // it stopped at the next keyword
            }
        }
        // Steps over an unknown word, or over a keyword's number on the next pass.
        pos = skip_word(line, pos);
    }
    return limits;
}

// The running search as the input and the output see it.
struct RunningSearch {
    Engine* engine;
    InputQueue* input;
    bool hashfull_shown; // the last line printed told how full the table is
    bool pondering; // the clock waits for the ponder hit
    bool ponderhit_seen; // not yet passed on to the search
    bool released; // stop, quit or the end of input came
    bool holding_infinite; // a finished search in infinite mode waits for stop
};

// What the input means while a search runs: isready is answered at once, stop ends the
// search, quit ends it and then the program, ponderhit starts the clock of a ponder search
// (and is ignored otherwise); everything else waits, in order, for bestmove. What follows
// the next go belongs to that search.
static LineVerdict search_input(const std::string& line, void* context)
{
    RunningSearch& search = *static_cast<RunningSearch*>(context);
    if (starts_with(line, 0, "go"))
        return LINE_BARRIER;
    if (line == "isready") {
        std::printf("readyok\n");
        std::fflush(stdout);
        return LINE_DROP;
    }
    if (line == "ponderhit") {
        search.ponderhit_seen = search.ponderhit_seen || search.pondering;
        search.pondering      = false;
        return LINE_DROP;
    }
    if (line == "stop" || line == "quit") {
        search.released = true;
        return line == "stop" ? LINE_STOP_DROP : LINE_STOP;
    }
    return LINE_KEEP;
}

// The end of input counts as quit.
static SearchEvent poll_search_input(void* context)
{
    RunningSearch& search = *static_cast<RunningSearch*>(context);
    if (scan_input(search.input, search_input, context)) {
        search.released = true;
        return EVENT_STOP;
    }
    if (!search.ponderhit_seen)
        return EVENT_NONE;
    search.ponderhit_seen = false;
    return EVENT_PONDERHIT;
}

// A finished search that still ponders answers at the ponder hit (or stop); one in infinite
// mode at stop.
static LineVerdict release_input(const std::string& line, void* context)
{
    const LineVerdict verdict = search_input(line, context);
    return line == "ponderhit" && !static_cast<RunningSearch*>(context)->holding_infinite
        ? LINE_STOP_DROP
        : verdict;
}

ScoreText score_to_uci(int score)
{
    ScoreText text;
    if (is_mate(score))
        std::snprintf(text.str, sizeof text.str, "mate %d", mate_in_moves(score));
    else
        std::snprintf(text.str, sizeof text.str, "cp %d", score);
    return text;
}

void print_info(const Engine& engine, const SearchInfo& info)
{
    std::printf("info depth %d seldepth %d", info.depth, info.seldepth);
    if (info.multipv > 0)
        std::printf(" multipv %d", info.multipv);
    std::printf(" score %s", score_to_uci(info.score).str);
    if (option_number(engine, OPTION_SHOW_WDL)) {
        const auto style = static_cast<EvalStyle>(option_number(engine, OPTION_STYLE));
        const Wdl wdl    = info.proven ? wdl_of_result(info.score)
                                       : wdl_of_score(info.score, wdl_material(*info.root), style);
        std::printf(" wdl %d %d %d", wdl.win, wdl.draw, wdl.loss);
    }
    std::printf(" nodes %llu nps %llu", static_cast<unsigned long long>(info.nodes),
        static_cast<unsigned long long>(info.nps));
    if (engine.tables.largest > 0)
        std::printf(" tbhits %llu", static_cast<unsigned long long>(info.tb_hits));
    std::printf(" time %lld pv", static_cast<long long>(info.time));
    for (int i = 0; i < info.pv_length; ++i)
        std::printf(" %s", move_to_uci(info.pv[i]).str);
    std::printf("\n");
    std::fflush(stdout);
}

void print_bestmove(const Board& board, Move move, Move ponder_move, bool ponder)
{
    std::printf("bestmove %s", move_to_uci(move).str);
    if (ponder && ponder_move != NO_MOVE) {
        Board after = board;
        make_move(after, move);
        if (uci_to_move(after, move_to_uci(ponder_move).str) == ponder_move)
            std::printf(" ponder %s", move_to_uci(ponder_move).str);
    }
    std::printf("\n");
    std::fflush(stdout);
}

// How full the table is, once a search has run HASHFULL_DELAY ms: after each completed iteration
// and before bestmove.
constexpr std::int64_t HASHFULL_DELAY = 1000;

static void print_hashfull(RunningSearch& search)
{
    std::printf("info hashfull %d\n", tt_hashfull(search.engine->tt));
    std::fflush(stdout);
    search.hashfull_shown = true;
}

static void report_line(void* context, const SearchInfo& info)
{
    RunningSearch& search = *static_cast<RunningSearch*>(context);
    print_info(*search.engine, info);
    search.hashfull_shown = false;
    if (info.last && info.time >= HASHFULL_DELAY)
        print_hashfull(search);
}

static void report_currmove(void* context, int depth, Move move, int number)
{
    std::printf(
        "info depth %d currmove %s currmovenumber %d\n", depth, move_to_uci(move).str, number);
    std::fflush(stdout);
    static_cast<RunningSearch*>(context)->hashfull_shown = false;
}

// Polyglot books hold standard chess only.
static bool answered_from_book(Engine& engine, const SearchLimits& limits)
{
    Board& board = engine.board;
    if (!option_number(engine, OPTION_OWN_BOOK) || limits.infinite || limits.ponder
        || limits.searchmove_count > 0 || board.chess960)
        return false;
    const Move move = book_probe(engine.book, board);
    if (move != NO_MOVE)
        print_bestmove(board, move, NO_MOVE, false);
    return move != NO_MOVE;
}

void go_command(Engine& engine, InputQueue* input, std::string_view line)
{
    const SearchLimits limits = parse_go(line, engine.board);
    if (answered_from_book(engine, limits))
        return;
    RunningSearch search { &engine, input, false, limits.ponder, false, false,
        limits.infinite && limits.depth <= 0 && limits.nodes <= 0 };
    engine.searching          = true;
    const std::uint64_t start = now_ms();
    const SearchResult result = think(engine.pool, engine.tt, engine.board, limits,
        search_setup(engine), { poll_search_input, report_line, report_currmove, &search });
    if (!search.released && (search.pondering || search.holding_infinite))
        wait_input(input, release_input, &search);
    engine.searching = false;
    if (!search.hashfull_shown && static_cast<std::int64_t>(now_ms() - start) >= HASHFULL_DELAY)
        print_hashfull(search);
    print_bestmove(engine.board, result.best_move, result.ponder_move,
        option_number(engine, OPTION_PONDER) != 0);
}
