#include "engine/engine.h"

#include <algorithm>
#include <cassert>
#include <cstdio>

#include "board/zobrist.h"
#include "movegen/attacks.h"
#include "platform/input.h"
#include "search/strength.h"

static void apply_hash(Engine& engine) { tt_resize(engine.tt, option_number(engine, OPTION_HASH)); }

static void apply_threads(Engine& engine)
{
    set_thread_count(engine.pool, option_number(engine, OPTION_THREADS));
}

// A book that loads switches OwnBook on; one that does not leaves none, and OwnBook off.
static void apply_book_file(Engine& engine)
{
    engine.options[OPTION_OWN_BOOK].number
        = load_book(engine.book, engine.options[OPTION_BOOK_FILE].text.c_str());
}

// Cached evaluations belong to the evaluation that made them.
static void apply_style(Engine& engine) { clear_eval_caches(engine.pool); }

// The network is replaced only by a file that passes every check; <empty> (or nothing) brings
// back the embedded one.
static void apply_eval_file(Engine& engine)
{
    const std::string& name = engine.options[OPTION_EVAL_FILE].text;
    const bool embedded     = name.empty() || name == "<empty>";
    const char* fault       = embedded ? load_embedded_network(engine.network)
                                       : load_network_file(engine.network, name.c_str());
    const std::string shown = embedded ? "the embedded network" : shown_text(name);
    if (fault) {
        std::printf("info string EvalFile not loaded, the network in use is kept: %s %s\n",
            shown.c_str(), fault);
    } else {
        clear_eval_caches(engine.pool);
        if (!embedded)
            std::printf("info string EvalFile loaded: %s\n", shown.c_str());
    }
    std::fflush(stdout);
}

static void apply_clear_hash(Engine& engine)
{
    tt_clear(engine.tt);
    clear_eval_caches(engine.pool);
}

// The game board carries the mode, so that the next position is read in it.
static void apply_chess960(Engine& engine)
{
    set_chess960(engine.board, option_number(engine, OPTION_CHESS960) != 0);
}

static void apply_syzygy_path(Engine& engine)
{
    tb_load(engine.tables, engine.options[OPTION_SYZYGY_PATH].text);
}

const Option OPTIONS[OPTION_NB] = {
    { "Hash", OPTION_SPIN, 64, nullptr, 1, 2048, {}, true, apply_hash },
    { "Threads", OPTION_SPIN, 1, nullptr, 1, MAX_THREADS, {}, true, apply_threads },
    { "OwnBook", OPTION_CHECK, 0, nullptr, 0, 0, {}, true, nullptr },
    { "BookFile", OPTION_STRING, 0, "champions.bin", 0, 0, {}, true, apply_book_file },
    // The choices in the order of EvalStyle.
    { "Style", OPTION_COMBO, 0, nullptr, 0, 0, { "PeSTO", "Linear", "Neural" }, true, apply_style },
    { "EvalFile", OPTION_STRING, 0, "<empty>", 0, 0, {}, true, apply_eval_file },
    { "MultiPV", OPTION_SPIN, 1, nullptr, 1, MAX_MULTIPV, {}, true, nullptr },
    { "Ponder", OPTION_CHECK, 0, nullptr, 0, 0, {}, true, nullptr },
    { "Move Overhead", OPTION_SPIN, 100, nullptr, 0, 5000, {}, true, nullptr },
    { "Clear Hash", OPTION_BUTTON, 0, nullptr, 0, 0, {}, true, apply_clear_hash },
    { "UCI_LimitStrength", OPTION_CHECK, 0, nullptr, 0, 0, {}, true, nullptr },
    { "UCI_Elo", OPTION_SPIN, MAX_ELO, nullptr, MIN_ELO, MAX_ELO, {}, true, nullptr },
    { "UCI_Chess960", OPTION_CHECK, 0, nullptr, 0, 0, {}, true, apply_chess960 },
    { "SyzygyPath", OPTION_STRING, 0, "<empty>", 0, 0, {}, TABLEBASES_BUILT, apply_syzygy_path },
    { "SyzygyProbeDepth", OPTION_SPIN, 1, nullptr, 1, 100, {}, TABLEBASES_BUILT, nullptr },
    { "Syzygy50MoveRule", OPTION_CHECK, 1, nullptr, 0, 0, {}, TABLEBASES_BUILT, nullptr },
    { "SyzygyProbeLimit", OPTION_SPIN, 7, nullptr, 0, 7, {}, TABLEBASES_BUILT, nullptr },
    { "UCI_ShowWDL", OPTION_CHECK, 0, nullptr, 0, 0, {}, true, nullptr },
};

void set_option(Engine& engine, OptionId id, int number, std::string_view text)
{
    assert(!engine.searching);
    const Option& option = OPTIONS[id];
    OptionValue& value   = engine.options[id];
    if (option.type == OPTION_STRING)
        value.text = text;
    else if (option.type == OPTION_SPIN)
        value.number = std::clamp(number, option.min, option.max);
    else if (option.type != OPTION_BUTTON)
        value.number = number;
    if (option.apply)
        option.apply(engine);
}

void init_tables()
{
    init_attack_tables();
    init_zobrist();
    init_lmr_table();
    init_eval_tables();
    use_avx2_kernels(true);
}

// A string names a file, which is not loaded before it is set (EvalFile's default, the
// embedded network, is in use from the start); a button has nothing to apply.
void init_engine(Engine& engine)
{
    init_pool(engine.pool);
    if (const char* fault = load_embedded_network(engine.network))
        std::printf("info string the embedded network %s\n", fault);
    parse_fen(engine.board, START_FEN);
    for (int id = 0; id < OPTION_NB; ++id) {
        const Option& option      = OPTIONS[id];
        engine.options[id].number = option.default_value;
        engine.options[id].text   = option.default_text ? option.default_text : "";
        if (option.apply && option.type != OPTION_STRING && option.type != OPTION_BUTTON)
            option.apply(engine);
    }
    clear_search_history(engine.pool);
}

void free_engine(Engine& engine)
{
    free_pool(engine.pool);
    tt_free(engine.tt);
    tb_free(engine.tables);
    free_book(engine.book);
}

SearchSetup search_setup(const Engine& engine)
{
    SearchSetup setup;
    setup.multipv       = option_number(engine, OPTION_MULTIPV);
    setup.move_overhead = option_number(engine, OPTION_MOVE_OVERHEAD);
    setup.strength_elo
        = option_number(engine, OPTION_LIMIT_STRENGTH) ? option_number(engine, OPTION_ELO) : 0;
    setup.style   = static_cast<EvalStyle>(option_number(engine, OPTION_STYLE));
    setup.network = &engine.network;
    setup.tables.pieces
        = std::min(engine.tables.largest, option_number(engine, OPTION_SYZYGY_PROBE_LIMIT));
    setup.tables.probe_depth = option_number(engine, OPTION_SYZYGY_PROBE_DEPTH);
    setup.tables.rule50      = option_number(engine, OPTION_SYZYGY_50_MOVE_RULE) != 0;
    return setup;
}

void new_game(Engine& engine)
{
    tt_clear(engine.tt);
    engine.tt.generation = 0;
    clear_search_history(engine.pool);
    parse_fen(engine.board, START_FEN, engine.board.chess960);
}
