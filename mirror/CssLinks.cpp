// The addresses in a style sheet: url(...) and @import "...".

#include "mirror/PageLinks.h"

#include "html/AsciiText.h"

#include <cctype>

namespace quorlix::mirror {

namespace {

bool identifierChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

bool startsNoCase(std::string_view text, std::size_t at, std::string_view word)
{
    if (text.size() - at < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (html::asciiLower(text[at + i]) != word[i])
            return false;
    return true;
}

// The end of the string that starts with its quote at `at` (just past the
// closing quote, or the end of the line or sheet when it is not closed).
std::size_t stringEnd(std::string_view text, std::size_t at)
{
    const char quote = text[at];
    std::size_t i = at + 1;
    while (i < text.size() && text[i] != quote && text[i] != '\n') {
        if (text[i] == '\\')
            ++i;
        ++i;
    }
    return i < text.size() ? i + 1 : text.size();
}

void addLink(std::vector<PageLink> &out, std::string_view sheet, std::size_t begin, std::size_t end,
             std::size_t offsetBase, bool import)
{
    if (end <= begin)
        return;
    PageLink link;
    link.text = std::string(sheet.substr(begin, end - begin));
    link.offset = offsetBase + begin;
    link.length = end - begin;
    link.form = PageLink::Form::Plain;
    link.isInline = true;
    link.inCss = true;
    link.expectsCss = import;
    out.push_back(std::move(link));
}

// url( at `at` (past the "url("): records the address, returns where the
// scan goes on.
std::size_t readUrl(std::string_view sheet, std::size_t i, std::size_t offsetBase, bool import,
                    std::vector<PageLink> &out)
{
    while (i < sheet.size() && html::isAsciiSpace(sheet[i]))
        ++i;
    if (i < sheet.size() && (sheet[i] == '"' || sheet[i] == '\'')) {
        const std::size_t end = stringEnd(sheet, i);
        const bool closed = end > i + 1 && sheet[end - 1] == sheet[i];
        if (closed)
            addLink(out, sheet, i + 1, end - 1, offsetBase, import);
        return end;
    }
    std::size_t end = i;
    while (end < sheet.size() && sheet[end] != ')' && !html::isAsciiSpace(sheet[end]) && sheet[end] != '"'
           && sheet[end] != '\'' && sheet[end] != '(')
        ++end;
    std::size_t after = end;
    while (after < sheet.size() && html::isAsciiSpace(sheet[after]))
        ++after;
    if (after < sheet.size() && sheet[after] == ')')
        addLink(out, sheet, i, end, offsetBase, import);
    return end;
}

} // namespace

void findCssLinks(std::string_view sheet, std::size_t offsetBase, std::vector<PageLink> &out)
{
    std::size_t i = 0;
    while (i < sheet.size()) {
        const char c = sheet[i];
        if (c == '/' && i + 1 < sheet.size() && sheet[i + 1] == '*') {
            const std::size_t close = sheet.find("*/", i + 2);
            i = close == std::string_view::npos ? sheet.size() : close + 2;
        } else if (c == '"' || c == '\'') {
            i = stringEnd(sheet, i);
        } else if ((c == 'u' || c == 'U') && startsNoCase(sheet, i, "url(") && (i == 0 || !identifierChar(sheet[i - 1]))) {
            i = readUrl(sheet, i + 4, offsetBase, false, out);
        } else if (c == '@' && startsNoCase(sheet, i, "@import") && i + 7 < sheet.size() && !identifierChar(sheet[i + 7])) {
            std::size_t j = i + 7;
            while (j < sheet.size() && html::isAsciiSpace(sheet[j]))
                ++j;
            if (j < sheet.size() && (sheet[j] == '"' || sheet[j] == '\'')) {
                const std::size_t end = stringEnd(sheet, j);
                if (end > j + 1 && sheet[end - 1] == sheet[j])
                    addLink(out, sheet, j + 1, end - 1, offsetBase, true);
                i = end;
            } else if (startsNoCase(sheet, j, "url(")) {
                i = readUrl(sheet, j + 4, offsetBase, true, out);
            } else {
                i = j;
            }
        } else {
            ++i;
        }
    }
}

} // namespace quorlix::mirror
