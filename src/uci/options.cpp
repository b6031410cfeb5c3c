#include "uci/options.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "book/polyglot.h"
#include "eval/nnue.h"
#include "eval/psq.h"
#include "search/tablebase.h"
#include "search/think.h"
#include "search/threads.h"
#include "search/tt.h"
#include "uci/text.h"

EngineOptions engine_options;

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
    clear_eval_caches();
    // The game board's running score must come from the table its moves will update.
    board.psq_score = compute_psq_score(board);
}
// The network is replaced only by a file that passes every check; <empty> (or nothing) brings
// back the embedded one.
static void set_eval_file(int, std::string_view path, Board&)
{
    const std::string name(path);
    const bool embedded = name.empty() || name == "<empty>";
    if (const char* fault = embedded ? load_embedded_network() : load_network_file(name.c_str())) {
        std::printf("info string EvalFile not loaded, the network in use is kept: %s %s\n",
            embedded ? "the embedded network" : name.c_str(), fault);
    } else {
        clear_eval_caches();
        if (!embedded)
            std::printf("info string EvalFile loaded: %s\n", name.c_str());
    }
    std::fflush(stdout);
}
static void set_multipv(int lines, std::string_view, Board&) { engine_options.multipv = lines; }
static void set_ponder(int on, std::string_view, Board&) { engine_options.ponder = on != 0; }
static void set_move_overhead(int ms, std::string_view, Board&)
{
    engine_options.move_overhead = ms;
}
static void set_threads(int count, std::string_view, Board&) { set_thread_count(count); }
static void clear_hash(int, std::string_view, Board&)
{
    tt_clear();
    clear_eval_caches();
}
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
static void set_syzygy_path(int, std::string_view paths, Board&) { tb_load(paths); }
static void set_probe_depth(int depth, std::string_view, Board&)
{
    tb_settings.probe_depth = depth;
}
static void set_syzygy_rule50(int on, std::string_view, Board&) { tb_settings.rule50 = on != 0; }
static void set_probe_limit(int pieces, std::string_view, Board&)
{
    tb_settings.probe_limit = pieces;
}

// The `uci` reply lists the options in this order.
static const Option OPTIONS[] = {
    { "Hash", OPTION_SPIN, 64, nullptr, 1, 2048, {}, set_hash },
    { "Threads", OPTION_SPIN, 1, nullptr, 1, MAX_THREADS, {}, set_threads },
    { "OwnBook", OPTION_CHECK, 0, nullptr, 0, 0, {}, set_own_book },
    { "BookFile", OPTION_STRING, 0, "champions.bin", 0, 0, {}, set_book_file },
    // The choices in the order of the style numbers.
    { "Style", OPTION_COMBO, STYLE_PESTO, nullptr, 0, 0, { "PeSTO", "Linear", "Neural" },
        set_style },
    { "EvalFile", OPTION_STRING, 0, "<empty>", 0, 0, {}, set_eval_file },
    { "MultiPV", OPTION_SPIN, 1, nullptr, 1, MAX_MULTIPV, {}, set_multipv },
    { "Ponder", OPTION_CHECK, 0, nullptr, 0, 0, {}, set_ponder },
    { "Move Overhead", OPTION_SPIN, 100, nullptr, 0, 5000, {}, set_move_overhead },
    { "Clear Hash", OPTION_BUTTON, 0, nullptr, 0, 0, {}, clear_hash },
    { "UCI_LimitStrength", OPTION_CHECK, 0, nullptr, 0, 0, {}, set_limit_strength },
    { "UCI_Elo", OPTION_SPIN, MAX_ELO, nullptr, MIN_ELO, MAX_ELO, {}, set_elo },
    { "UCI_Chess960", OPTION_CHECK, 0, nullptr, 0, 0, {}, set_uci_chess960 },
#ifdef VANTOREL_SYZYGY
    { "SyzygyPath", OPTION_STRING, 0, "<empty>", 0, 0, {}, set_syzygy_path },
    { "SyzygyProbeDepth", OPTION_SPIN, 1, nullptr, 1, 100, {}, set_probe_depth },
    { "Syzygy50MoveRule", OPTION_CHECK, 1, nullptr, 0, 0, {}, set_syzygy_rule50 },
    { "SyzygyProbeLimit", OPTION_SPIN, 7, nullptr, 0, 7, {}, set_probe_limit },
#endif
};
static_assert(STYLE_PESTO == 0 && STYLE_LINEAR == 1 && STYLE_NEURAL == 2);

void apply_default_options(Board& board)
{
    init_nnue(); // EvalFile's default, the embedded network
    for (const Option& option : OPTIONS)
        if (option.apply && option.type != OPTION_STRING && option.type != OPTION_BUTTON)
            option.apply(option.default_value, {}, board);
}

void print_options()
{
    static const char* const TYPE_NAMES[] = { "spin", "check", "string", "combo", "button" };
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

void setoption_command(std::string_view line, Board& board)
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
