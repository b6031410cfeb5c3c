#include "uci/go.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "book/polyglot.h"
#include "platform/input.h"
#include "search/think.h"
#include "uci/options.h"
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
    SearchLimits limits  = {};
    limits.multipv       = engine_options.multipv;
    limits.move_overhead = engine_options.move_overhead;
    limits.strength_elo  = engine_options.limit_strength ? engine_options.elo : 0;
    std::size_t pos      = 2;
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

// The state of the running search that the input changes.
static bool search_pondering = false; // the clock waits for the ponder hit
static bool ponderhit_seen   = false; // not yet passed on to the search
static bool search_released  = false; // stop, quit or the end of input came
static bool holding_infinite = false; // a finished search in infinite mode waits for stop

// What the input means while a search runs: isready is answered at once, stop ends the
// search, quit ends it and then the program, ponderhit starts the clock of a ponder search
// (and is ignored otherwise); everything else waits, in order, for bestmove. What follows
// the next go belongs to that search.
static LineVerdict search_input(const std::string& line)
{
    if (starts_with(line, 0, "go"))
        return LINE_BARRIER;
    if (line == "isready") {
        std::printf("readyok\n");
        std::fflush(stdout);
        return LINE_DROP;
    }
    if (line == "ponderhit") {
        ponderhit_seen   = ponderhit_seen || search_pondering;
        search_pondering = false;
        return LINE_DROP;
    }
    if (line == "stop" || line == "quit") {
        search_released = true;
        return line == "stop" ? LINE_STOP_DROP : LINE_STOP;
    }
    return LINE_KEEP;
}

// The end of input counts as quit.
static SearchEvent poll_search_input()
{
    if (scan_input(search_input)) {
        search_released = true;
        return EVENT_STOP;
    }
    if (!ponderhit_seen)
        return EVENT_NONE;
    ponderhit_seen = false;
    return EVENT_PONDERHIT;
}

// A finished search that still ponders answers at the ponder hit (or stop); one in infinite
// mode at stop.
static LineVerdict release_input(const std::string& line)
{
    const LineVerdict verdict = search_input(line);
    return line == "ponderhit" && !holding_infinite ? LINE_STOP_DROP : verdict;
}

void print_bestmove(const Board& board, Move move, Move ponder)
{
    std::printf("bestmove %s", move_to_uci(move).str);
    if (engine_options.ponder && ponder != NO_MOVE) {
        Board after = board;
        make_move(after, move);
        if (uci_to_move(after, move_to_uci(ponder).str) == ponder)
            std::printf(" ponder %s", move_to_uci(ponder).str);
    }
    std::printf("\n");
    std::fflush(stdout);
}

void go_command(std::string_view line, Board& board)
{
    const SearchLimits limits = parse_go(line, board);
    // Polyglot books hold standard chess only.
    if (own_book && !limits.infinite && !limits.ponder && limits.searchmove_count == 0
        && !board.chess960) {
        const Move move = book_probe(board);
        if (move != NO_MOVE) {
            print_bestmove(board, move, NO_MOVE);
            return;
        }
    }
    search_pondering          = limits.ponder;
    ponderhit_seen            = false;
    search_released           = false;
    holding_infinite          = limits.infinite && limits.depth <= 0 && limits.nodes <= 0;
    const SearchResult result = think(board, limits, poll_search_input);
    if (!search_released && (search_pondering || holding_infinite))
        wait_input(release_input);
    search_pondering = false;
    print_bestmove(board, result.best_move, result.ponder_move);
}
