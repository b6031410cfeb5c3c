// engine.h: the Engine record, owner of the runtime state: the option values, the
// transposition table, the thread pool, the network, the endgame tables, the book and the game
// board. Whoever owns an Engine (the command loop, a bench, a self-play run) reaches all of it
// through that one reference; nothing else is shared but the read-only tables built at start-up
// (attacks, keys, reductions, square values) and the endgame library's per-process tables.
//
// Options are rows of a fixed table: name, type, default, range. Their values live in the
// engine and are read where they are used (a search reads its options when it starts); a row
// has an apply function only when setting it does more than record the value. Nothing is set
// while a search runs: the command loop holds setoption until bestmove.
#pragma once

#include <string>
#include <string_view>

#include "board/board.h"
#include "book/polyglot.h"
#include "eval/nnue.h"
#include "search/think.h"
#include "search/threads.h"
#include "search/tt.h"
#include "tablebase/tablebase.h"

enum OptionId {
    OPTION_HASH,
    OPTION_THREADS,
    OPTION_OWN_BOOK,
    OPTION_BOOK_FILE,
    OPTION_STYLE,
    OPTION_EVAL_FILE,
    OPTION_MULTIPV,
    OPTION_PONDER,
    OPTION_MOVE_OVERHEAD,
    OPTION_CLEAR_HASH,
    OPTION_LIMIT_STRENGTH,
    OPTION_ELO,
    OPTION_CHESS960,
    OPTION_SYZYGY_PATH,
    OPTION_SYZYGY_PROBE_DEPTH,
    OPTION_SYZYGY_50_MOVE_RULE,
    OPTION_SYZYGY_PROBE_LIMIT,
    OPTION_SHOW_WDL,
    OPTION_NB
};

enum OptionType { OPTION_SPIN, OPTION_CHECK, OPTION_STRING, OPTION_COMBO, OPTION_BUTTON };

struct Engine;

// A row of the table, in the order of the `uci` reply.
struct Option {
    const char* name;
    OptionType type;
    int default_value; // spin: the number; check: 0 or 1; combo: the choice's index
    const char* default_text; // string only
    int min, max; // spin
    const char* choices[4]; // combo, ended by nullptr
    bool offered; // false for the Syzygy rows of a build without tables
    void (*apply)(Engine& engine); // the side effect of a new value, or nullptr
};
extern const Option OPTIONS[OPTION_NB];

// A spin's, check's or combo's number, or a string's text.
struct OptionValue {
    int number;
    std::string text;
};

struct Engine {
    OptionValue options[OPTION_NB];
    TranspositionTable tt;
    ThreadPool pool;
    Network network; // the Neural style's: the embedded one or EvalFile's
    Tablebases tables;
    Book book;
    Board board; // the game's position, with its history
    bool searching; // set by whoever runs a search on the engine
};

// Builds the read-only tables every engine shares (attacks, keys, reductions, square values)
// and chooses the network's kernels; once per process, before the first engine.
void init_tables();

// A value-initialised engine (`new Engine()`) becomes a working one: every option at its
// default, the embedded network, the start position. free_engine ends its threads and
// releases its memory, tables and files.
void init_engine(Engine& engine);
void free_engine(Engine& engine);

// Sets an option: spins clamped to their range, checks 0 or 1, combos by the choice's index;
// strings by `text`, buttons by nothing. Never while a search runs.
void set_option(Engine& engine, OptionId id, int number, std::string_view text);

inline int option_number(const Engine& engine, OptionId id) { return engine.options[id].number; }

// What a search started now takes from the options.
SearchSetup search_setup(const Engine& engine);

// ucinewgame: the start position, an empty table and empty history tables.
void new_game(Engine& engine);
