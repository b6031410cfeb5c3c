// text.h: reading the words of a command line. Commands are read leniently: a number is read
// as atoi reads it, and positions past the end of the line are never read.
#pragma once

#include <cstddef>
#include <string_view>

// The integer value of a text as atoi reads it, saturated to the int range.
int parse_int(std::string_view text);

inline std::size_t skip_spaces(std::string_view line, std::size_t pos)
{
    while (pos < line.size() && line[pos] == ' ')
        ++pos;
    return pos;
}

inline std::size_t skip_word(std::string_view line, std::size_t pos)
{
    while (pos < line.size() && line[pos] != ' ')
        ++pos;
    return pos;
}

// Does `word` stand at `pos` (as a prefix of what follows)?
inline bool starts_with(std::string_view text, std::size_t pos, std::string_view word)
{
    return pos <= text.size() && text.substr(pos, word.size()) == word;
}
