#pragma once

// The small text helpers every reader of markup, style sheets, addresses,
// robots.txt and project files needs, for ASCII only: what a page's markup,
// a server's names and a project file's keys are written in.

#include <string>
#include <string_view>

namespace quorlix::html {

// Space, tab, line feed, carriage return, form feed: HTML's and CSS's blanks.
inline bool isAsciiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Unlike std::tolower(), the same in every locale: quorlix-wget takes its
// LC_CTYPE from the environment, for its log.
inline char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The text without the blanks at either end; a reader whose format counts
// other blanks (robots.txt also the vertical tab) names them.
inline std::string_view trimmed(std::string_view text, bool (*isBlank)(char) = isAsciiSpace)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

inline std::string lower(std::string_view text)
{
    std::string result(text);
    for (char &c : result)
        c = asciiLower(c);
    return result;
}

} // namespace quorlix::html
