#pragma once

// Text in a help file's internal tables is in the ANSI code page of its
// language, not UTF-8: viewers decode titles by the language's code page.

#include <memory>
#include <string>
#include <string_view>

namespace quorlix::chm {

class AnsiText {
public:
    // codePage as from codePageOf; 0 keeps text as UTF-8.
    explicit AnsiText(unsigned codePage);
    ~AnsiText();
    AnsiText(const AnsiText &) = delete;
    AnsiText &operator=(const AnsiText &) = delete;

    // The UTF-8 text in the code page. A character the code page lacks
    // becomes '?'; bytes that are not valid UTF-8 are kept as they are (they
    // are taken to be in the code page already).
    std::string fromUtf8(std::string_view utf8) const;

private:
    struct Converter;
    std::unique_ptr<Converter> converter_;
};

} // namespace quorlix::chm
