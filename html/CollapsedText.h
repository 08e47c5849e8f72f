#pragma once

// Text gathered piece by piece from a page, as a reader sees it: every run
// of white space (no-break spaces too) becomes one blank, none at either
// end; control characters are dropped.

#include <string>
#include <string_view>

namespace quorlix::html {

class CollapsedText {
public:
    void append(std::string_view utf8);
    // A break between blocks: the text on either side does not run together.
    void separate() { mBlank = !mText.empty(); }
    bool empty() const { return mText.empty(); }
    const std::string &text() const { return mText; }
    std::string take();

private:
    std::string mText;
    bool mBlank = false;
};

} // namespace quorlix::html
