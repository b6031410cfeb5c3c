#include "uci/uci.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>

#include "board/zobrist.h"
#include "book/polyglot.h"
#include "eval/eval.h"
#include "eval/psq.h"
#include "movegen/attacks.h"
#include "movegen/movegen.h"
#include "movegen/perft.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "search/search.h"
#include "search/think.h"
#include "search/tt.h"

int parse_int(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r')))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    long long value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos)
        if (value <= INT_MAX)
            value = value * 10 + (text[pos] - '0');
    value = negative ? -value : value;
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

static std::size_t skip_spaces(std::string_view line, std::size_t pos)
{
    while (pos < line.size() && line[pos] == ' ')
        ++pos;
    return pos;
}

static bool starts_with(std::string_view text, std::size_t pos, std::string_view word)
{
    return pos <= text.size() && text.substr(pos, word.size()) == word;
}

Move uci_to_move(Board& board, std::string_view token)
{
    token = token.substr(0, token.find(' '));
    if (token.size() < 4)
        return NO_MOVE;
    MoveList list;
    generate_legal_moves(board, list);
    for (int i = 0; i < list.count; ++i) {
        const Move move     = list.moves[i];
        const MoveText text = move_to_uci(move);
        if (token.substr(0, 4) != std::string_view(text.str, 4))
            continue;
        if (is_promotion(move) ? token.size() >= 5 && token[4] == text.str[4] : token.size() == 4)
            return move;
    }
    return NO_MOVE;
}

// Keeps room on the undo stack for a search, however long the game.
static void make_game_move(Board& board, Move move)
{
    if (board.undo_count >= GAME_HISTORY_LIMIT)
        drop_oldest_history(board, GAME_HISTORY_DROP);
    make_move(board, move);
}

void position_command(std::string_view line, Board& board)
{
    std::size_t pos = skip_spaces(line, 8);
    if (starts_with(line, pos, "startpos")) {
        parse_fen(board, START_FEN, board.chess960);
        pos += 8;
    } else if (starts_with(line, pos, "fen")) {
        pos = skip_spaces(line, pos + 3);
        // A FEN never contains "moves", so it ends there even when fields are missing.
        const std::size_t moves_at = line.find("moves", pos);
        parse_fen(board,
            line.substr(pos, moves_at == std::string_view::npos ? line.npos : moves_at - pos),
            board.chess960);
    } else {
        return;
    }
    const std::size_t moves_at = line.find("moves", pos);
    if (moves_at == std::string_view::npos)
        return;
    pos = skip_spaces(line, moves_at + 5);
    while (pos < line.size()) {
        const std::string_view token = line.substr(pos, line.find(' ', pos) - pos);
        const Move move              = uci_to_move(board, token);
        if (move != NO_MOVE)
            make_game_move(board, move);
        pos = skip_spaces(line, pos + token.size());
    }
}

void dupcheck(Board& board)
{
    MoveList list;
    generate_moves(board, list);
    int duplicates = 0;
    for (int i = 0; i < list.count; ++i)
        for (int j = i + 1; j < list.count; ++j)
            if (list.moves[i] == list.moves[j]) {
                std::printf(
                    "DUPLICATE: %s (indices %d and %d)\n", move_to_uci(list.moves[i]).str, i, j);
                ++duplicates;
            }
    std::printf("Total pseudo-legal: %d, Duplicates: %d\n", list.count, duplicates);
    std::fflush(stdout);
}

// Cross-checks move_is_legal against an attacker count made piece kind by piece kind.
void illegalcheck(Board& board)
{
    MoveList list;
    generate_moves(board, list);
    int findings = 0;
    for (int i = 0; i < list.count; ++i) {
        const Move move = list.moves[i];
        if (!move_is_legal(board, move))
            continue;
        make_move(board, move);
        const int us          = board.side ^ 1;
        const int them        = board.side;
        const int k           = lsb(board.pieces[make_piece(us, KING)]);
        const Bitboard occ    = board.occupied;
        const Bitboard* enemy = board.pieces + them * 6;
        const bool pawn       = pawn_attacks[us][k] & enemy[PAWN];
        const bool knight     = knight_attacks[k] & enemy[KNIGHT];
        const bool king       = king_attacks[k] & enemy[KING];
        const bool diag       = bishop_attacks(k, occ) & (enemy[BISHOP] | enemy[QUEEN]);
        const bool orth       = rook_attacks(k, occ) & (enemy[ROOK] | enemy[QUEEN]);
        unmake_move(board, move);
        if (pawn || knight || king || diag || orth) {
            std::printf("ILLEGAL (king in check): %s  pawn=%d knight=%d king=%d diag=%d orth=%d\n",
                move_to_uci(move).str, pawn, knight, king, diag, orth);
            ++findings;
        }
    }
    if (findings == 0)
        std::printf("No illegal moves found among move_is_legal=true set.\n");
    std::fflush(stdout);
}

// The values of the options that the front end reads. The others live with what they change:
// the table size in tt, OwnBook in the book, Style in the evaluation and UCI_Chess960 on the
// game board.
struct EngineOptions {
    int multipv; // lines searched and shown
    bool ponder; // bestmove names the expected reply
    int move_overhead; // ms kept back from the clock for the GUI and the pipe
    bool limit_strength;
    int elo; // the rating played at when limit_strength is on
};

static EngineOptions engine_options;

// UCI options, one row each: the `uci` reply lists them in this order, setoption finds the
// first row whose name starts the given name, and start-up applies their defaults. An option
// is one row and its apply function.
enum OptionType { OPTION_SPIN, OPTION_CHECK, OPTION_STRING, OPTION_COMBO, OPTION_BUTTON };

struct Option {
    const char* name;
    OptionType type;
    int default_value; // spin: the number; check: 0 or 1; combo: the choice's index
    const char* default_text; // string only
    int min, max; // spin
    const char* choices[4]; // combo, ended by nullptr
    // Applies a value: spins clamped to [min, max], checks 0 or 1, combos the choice's index
    // (the default's when the value names none); strings come as text. A button needs none.
    void (*apply)(int number, std::string_view text, Board& board);
};

static void set_hash(int megabytes, std::string_view, Board&) { tt_resize(megabytes); }
static void set_own_book(int on, std::string_view, Board&) { own_book = on != 0; }
static void set_book_file(int, std::string_view path, Board&)
{
    load_book(std::string(path).c_str());
}
static void set_style(int style, std::string_view, Board& board)
{
    eval_style = style;
    init_eval_tables();
    // The game board's running score must come from the table its moves will update.
    board.psq_score = compute_psq_score(board);
}
static void set_multipv(int lines, std::string_view, Board&) { engine_options.multipv = lines; }
static void set_ponder(int on, std::string_view, Board&) { engine_options.ponder = on != 0; }
static void set_move_overhead(int ms, std::string_view, Board&)
{
    engine_options.move_overhead = ms;
}
static void clear_hash(int, std::string_view, Board&) { tt_clear(); }
static void set_limit_strength(int on, std::string_view, Board&)
{
    engine_options.limit_strength = on != 0;
}
static void set_elo(int elo, std::string_view, Board&) { engine_options.elo = elo; }
// The game board carries the mode, so that the next position is read in it.
static void set_uci_chess960(int on, std::string_view, Board& board)
{
    set_chess960(board, on != 0);
}

static const Option OPTIONS[] = {
    { "Hash", OPTION_SPIN, 64, nullptr, 1, 2048, {}, set_hash },
    { "Threads", OPTION_SPIN, 1, nullptr, 1, 1, {}, nullptr },
    { "OwnBook", OPTION_CHECK, 0, nullptr, 0, 0, {}, set_own_book },
    { "BookFile", OPTION_STRING, 0, "champions.bin", 0, 0, {}, set_book_file },
    // The choices in the order of the style numbers.
    { "Style", OPTION_COMBO, STYLE_PESTO, nullptr, 0, 0, { "PeSTO", "Linear" }, set_style },
    { "MultiPV", OPTION_SPIN, 1, nullptr, 1, MAX_MULTIPV, {}, set_multipv },
    { "Ponder", OPTION_CHECK, 0, nullptr, 0, 0, {}, set_ponder },
    { "Move Overhead", OPTION_SPIN, 100, nullptr, 0, 5000, {}, set_move_overhead },
    { "Clear Hash", OPTION_BUTTON, 0, nullptr, 0, 0, {}, clear_hash },
    { "UCI_LimitStrength", OPTION_CHECK, 0, nullptr, 0, 0, {}, set_limit_strength },
    { "UCI_Elo", OPTION_SPIN, MAX_ELO, nullptr, MIN_ELO, MAX_ELO, {}, set_elo },
    { "UCI_Chess960", OPTION_CHECK, 0, nullptr, 0, 0, {}, set_uci_chess960 },
};
static_assert(STYLE_PESTO == 0 && STYLE_LINEAR == 1);

// Every default, in table order, as setoption would apply it. A string names a file, which is
// not loaded before the GUI sets it; a button has nothing to apply.
static void apply_default_options(Board& board)
{
    for (const Option& option : OPTIONS)
        if (option.apply && option.type != OPTION_STRING && option.type != OPTION_BUTTON)
            option.apply(option.default_value, {}, board);
}

// The position of the command loop; static for its size.
static Board game_board;

void init_engine()
{
    init_attack_tables();
    init_zobrist();
    init_lmr_table();
    // The defaults include the evaluation tables, which recompute the board's running score.
    parse_fen(game_board, START_FEN);
    apply_default_options(game_board);
    clear_search_history();
}

static void print_uci_identity()
{
    static const char* const TYPE_NAMES[] = { "spin", "check", "string", "combo", "button" };
    std::printf("id name Vantorel\n");
    std::printf("id author You\n");
    for (const Option& option : OPTIONS) {
        std::printf("option name %s type %s", option.name, TYPE_NAMES[option.type]);
        switch (option.type) {
        case OPTION_SPIN:
            std::printf(" default %d min %d max %d", option.default_value, option.min, option.max);
            break;
        case OPTION_CHECK:
            std::printf(" default %s", option.default_value ? "true" : "false");
            break;
        case OPTION_STRING:
            std::printf(" default %s", option.default_text);
            break;
        case OPTION_COMBO:
            std::printf(" default %s", option.choices[option.default_value]);
            for (int i = 0; option.choices[i]; ++i)
                std::printf(" var %s", option.choices[i]);
            break;
        case OPTION_BUTTON:
            break;
        }
        std::printf("\n");
    }
    std::printf("uciok\n");
    std::fflush(stdout);
}

static void apply_option(const Option& option, std::string_view raw_value, Board& board)
{
    const std::string_view value = raw_value.substr(skip_spaces(raw_value, 0));
    int number                   = option.default_value;
    switch (option.type) {
    case OPTION_SPIN:
        number = std::clamp(parse_int(raw_value), option.min, option.max);
        break;
    case OPTION_CHECK:
        number = value.starts_with("true");
        break;
    case OPTION_COMBO:
        for (int i = 0; option.choices[i]; ++i)
            if (value.starts_with(option.choices[i]))
                number = i;
        break;
    case OPTION_STRING:
    case OPTION_BUTTON:
        break;
    }
    if (option.apply)
        option.apply(number, value, board);
}

// "setoption name N value V": the words may come in either order; only a button needs no
// value.
static void setoption_command(std::string_view line, Board& board)
{
    const std::size_t name_at  = line.find("name");
    const std::size_t value_at = line.find("value");
    if (name_at == std::string_view::npos)
        return;
    const std::string_view name = line.substr(skip_spaces(line, name_at + 4));
    for (const Option& option : OPTIONS) {
        if (!name.starts_with(option.name))
            continue;
        if (value_at != std::string_view::npos || option.type == OPTION_BUTTON)
            apply_option(option,
                value_at == std::string_view::npos ? std::string_view() : line.substr(value_at + 5),
                board);
        return;
    }
}

static void new_game(Board& board)
{
    tt_clear();
    tt_generation = 0;
    clear_search_history();
    parse_fen(board, START_FEN, board.chess960);
}

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

static std::size_t skip_word(std::string_view line, std::size_t pos)
{
    while (pos < line.size() && line[pos] != ' ')
        ++pos;
    return pos;
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

// The ponder move goes along only when the Ponder option is on and it is legal.
static void print_bestmove(const Board& board, Move move, Move ponder)
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

// Answers from the book when OwnBook is on, unless the search is infinite, ponders, is
// restricted to some moves or plays Chess960; else searches, listening to the input. A GUI
// must never receive bestmove while it believes the engine is pondering or searching without
// end.
static void go_command(std::string_view line, Board& board)
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

static const char* const BENCH_FENS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
};

static void run_bench(int depth)
{
    depth                     = depth > MAX_SEARCH_DEPTH ? MAX_SEARCH_DEPTH : depth;
    const std::uint64_t start = now_ms();
    std::uint64_t total       = 0;
    for (const char* fen : BENCH_FENS) {
        static Board board;
        parse_fen(board, fen);
        clear_search_history();
        tt_clear();
        tt_generation             = 0;
        SearchLimits limits       = {};
        limits.depth              = depth;
        const SearchResult result = think(board, limits);
        print_bestmove(board, result.best_move, NO_MOVE);
        total += result.nodes;
    }
    const auto elapsed = static_cast<long long>(now_ms() - start);
    const unsigned long long nps
        = elapsed > 0 ? total * 1000 / static_cast<std::uint64_t>(elapsed) : 0;
    std::printf("\n=== Bench ===\n");
    std::printf("Depth   : %d\n", depth);
    std::printf("Nodes   : %llu\n", static_cast<unsigned long long>(total));
    std::printf("Time    : %lld ms\n", elapsed);
    std::printf("NPS     : %llu\n", nps);
    std::fflush(stdout);
}

void execute_command(std::string_view line, Board& board)
{
    if (line == "uci") {
        print_uci_identity();
    } else if (line == "isready") {
        std::printf("readyok\n");
        std::fflush(stdout);
    } else if (line == "ucinewgame") {
        new_game(board);
    } else if (starts_with(line, 0, "position")) {
        position_command(line, board);
    } else if (starts_with(line, 0, "go")) {
        go_command(line, board);
    } else if (starts_with(line, 0, "setoption")) {
        setoption_command(line, board);
    } else if (line == "d") {
        print_board(board);
    } else if (line == "perfttest") {
        run_perft_suite();
    } else if (starts_with(line, 0, "perft")) {
        int depth = parse_int(line.substr(5));
        depth     = depth < 1 ? 1 : depth > MAX_PERFT_DEPTH ? MAX_PERFT_DEPTH : depth;
        perft_divide(board, static_cast<unsigned>(depth));
    } else if (starts_with(line, 0, "bench")) {
        const int depth = parse_int(line.substr(5));
        run_bench(depth < 1 ? 10 : depth);
    } else if (line == "eval") {
        eval_trace(board);
    } else if (line == "dupcheck") {
        dupcheck(board);
    } else if (line == "illegalcheck") {
        illegalcheck(board);
    }
}

void uci_loop()
{
    start_input_reader();
    std::string line;
    while (read_line(line)) {
        if (line == "quit")
            break;
        execute_command(line, game_board);
    }
}
