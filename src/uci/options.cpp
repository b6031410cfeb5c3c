#include "uci/options.h"

#include <cstdio>

#include "uci/text.h"

void print_options()
{
    static const char* const TYPE_NAMES[] = { "spin", "check", "string", "combo", "button" };
    for (const Option& option : OPTIONS) {
        if (!option.offered)
            continue;
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

static int option_number_of(const Option& option, std::string_view raw_value)
{
    const std::string_view value = raw_value.substr(skip_spaces(raw_value, 0));
    int number                   = option.default_value;
    if (option.type == OPTION_SPIN)
        number = parse_int(raw_value);
    else if (option.type == OPTION_CHECK)
        number = value.starts_with("true");
    else if (option.type == OPTION_COMBO)
        for (int i = 0; option.choices[i]; ++i)
            if (value.starts_with(option.choices[i]))
                number = i;
    return number;
}

void setoption_command(Engine& engine, std::string_view line)
{
    const std::size_t name_at  = line.find("name");
    const std::size_t value_at = line.find("value");
    if (name_at == std::string_view::npos)
        return;
    // The name is all of it, up to "value": an option offered by other engines, such as
    // "EvalFileSmall", must not set the one whose name begins it.
    const std::size_t name_start = skip_spaces(line, name_at + 4);
    std::size_t name_end
        = value_at == std::string_view::npos || value_at < name_start ? line.size() : value_at;
    while (name_end > name_start && line[name_end - 1] == ' ')
        --name_end;
    const std::string_view name = line.substr(name_start, name_end - name_start);
    for (int id = 0; id < OPTION_NB; ++id) {
        const Option& option = OPTIONS[id];
        if (!option.offered || name != option.name)
            continue;
        if (value_at == std::string_view::npos && option.type != OPTION_BUTTON)
            return;
        const std::string_view raw
            = value_at == std::string_view::npos ? std::string_view() : line.substr(value_at + 5);
        set_option(engine, static_cast<OptionId>(id), option_number_of(option, raw),
            raw.substr(skip_spaces(raw, 0)));
        return;
    }
}
