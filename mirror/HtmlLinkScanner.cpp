#include "mirror/HtmlLinkScanner.h"

#include "mirror/LinkCollector.h"

#include "html/AsciiText.h"
#include "html/Charset.h"
#include "html/Utf8Append.h"

#include <gumbo.h>

#include <algorithm>
#include <cctype>
#include <deque>
#include <string>
#include <vector>

namespace quorlix::mirror {

namespace {

bool isAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isAlnum(char c)
{
    return isAlpha(c) || (c >= '0' && c <= '9');
}

bool isTagSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

char lowered(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// A code point a numeric reference stands for as itself (the rest the
// parse replaces or maps: NUL, surrogates, C1 controls, noncharacters).
bool plainCodePoint(unsigned long code)
{
    if (code == '\t' || code == '\n')
        return true;
    if (code < 0x20 || (code >= 0x7F && code < 0xA0) || (code >= 0xD800 && code < 0xE000) || code > 0x10FFFF)
        return false;
    return !(code >= 0xFDD0 && code < 0xFDF0) && (code & 0xFFFE) != 0xFFFE;
}

class Scanner {
public:
    Scanner(std::string_view page, const std::atomic<bool> *stop) : mPage(page), mStop(stop), mCollector(page) {}

    // False when the page needs the parse (or the scan was stopped).
    bool run()
    {
        std::size_t nextCheck = 0;
        while (mPos < mPage.size()) {
            if (mPos >= nextCheck) {
                if (mStop && mStop->load(std::memory_order_relaxed))
                    return false;
                nextCheck = mPos + (64u << 10);
            }
            const std::size_t open = mPage.find('<', mPos);
            if (open == std::string_view::npos)
                break;
            mPos = open;
            if (!markup())
                return false;
        }
        return true;
    }

    PageLinks take() { return std::move(mCollector.result); }

private:
    char at(std::size_t i) const { return i < mPage.size() ? mPage[i] : '\0'; }
    bool startsWith(std::size_t i, std::string_view text) const { return mPage.substr(i, text.size()) == text; }

    // What starts at a '<'; false when the page needs the parse.
    bool markup()
    {
        const char next = at(mPos + 1);
        if (startsWith(mPos, "<!--")) {
            comment();
        } else if (next == '!' || next == '?') {
            // A doctype, or a bogus comment to the next '>'; CDATA in
            // foreign content ends elsewhere.
            if (startsWith(mPos, "<![CDATA["))
                return false;
            skipPast('>', mPos + 2);
        } else if (next == '/') {
            if (isAlpha(at(mPos + 2))) {
                mPos += 2;
                const std::string name = tagName();
                if (!attributes(false))
                    mPos = mPage.size();
                if (name == "svg" || name == "math")
                    mForeignDepth -= mForeignDepth > 0 ? 1 : 0;
                else if (name == "form")
                    mInForm = false;
                else if (name == "select")
                    mInSelect = false;
            } else if (at(mPos + 2) == '>') {
                mPos += 3;
            } else {
                skipPast('>', mPos + 2);
            }
        } else if (isAlpha(next)) {
            return startTag();
        } else {
            ++mPos; // a '<' in the text
        }
        return true;
    }

    void skipPast(char c, std::size_t from)
    {
        const std::size_t found = mPage.find(c, from);
        mPos = found == std::string_view::npos ? mPage.size() : found + 1;
    }

    void comment()
    {
        std::size_t i = mPos + 4;
        if (at(i) == '>') { // "<!-->"
            mPos = i + 1;
            return;
        }
        if (at(i) == '-' && at(i + 1) == '>') { // "<!--->"
            mPos = i + 2;
            return;
        }
        for (;;) {
            const std::size_t dashes = mPage.find("--", i);
            if (dashes == std::string_view::npos) {
                mPos = mPage.size();
                return;
            }
            std::size_t after = dashes + 2;
            while (at(after) == '-')
                ++after;
            if (at(after) == '>') {
                mPos = after + 1;
                return;
            }
            if (at(after) == '!' && at(after + 1) == '>') {
                mPos = after + 2;
                return;
            }
            i = after;
        }
    }

    std::string tagName()
    {
        std::string name;
        while (mPos < mPage.size() && !isTagSpace(mPage[mPos]) && mPage[mPos] != '/' && mPage[mPos] != '>')
            name += lowered(mPage[mPos++]);
        return name;
    }

    // The attributes up to the tag's end; false at the page's end inside
    // the tag (which drops it). keep: the attributes are wanted, those the
    // collector reads of tag decoded; mUnsure is set when a value needs the
    // parse.
    bool attributes(bool keep, GumboTag tag = GUMBO_TAG_UNKNOWN)
    {
        mAttributes.clear();
        mStorage.clear();
        mSelfClosing = false;
        for (;;) {
            bool slash = false;
            while (mPos < mPage.size() && (isTagSpace(mPage[mPos]) || mPage[mPos] == '/'))
                slash = mPage[mPos++] == '/';
            if (mPos >= mPage.size())
                return false;
            if (mPage[mPos] == '>') {
                mSelfClosing = slash;
                ++mPos;
                return true;
            }
            const std::size_t nameStart = mPos++;
            while (mPos < mPage.size() && !isTagSpace(mPage[mPos]) && mPage[mPos] != '/' && mPage[mPos] != '>'
                   && mPage[mPos] != '=')
                ++mPos;
            std::string_view name = mPage.substr(nameStart, mPos - nameStart);
            while (mPos < mPage.size() && isTagSpace(mPage[mPos]))
                ++mPos;
            std::string_view original, value;
            if (at(mPos) == '=') {
                ++mPos;
                while (mPos < mPage.size() && isTagSpace(mPage[mPos]))
                    ++mPos;
                const char quote = at(mPos);
                if (quote == '"' || quote == '\'') {
                    const std::size_t close = mPage.find(quote, mPos + 1);
                    if (close == std::string_view::npos)
                        return false;
                    original = mPage.substr(mPos, close + 1 - mPos);
                    value = original.substr(1, original.size() - 2);
                    mPos = close + 1;
                } else {
                    const std::size_t start = mPos;
                    while (mPos < mPage.size() && !isTagSpace(mPage[mPos]) && mPage[mPos] != '>')
                        ++mPos;
                    original = value = mPage.substr(start, mPos - start);
                }
            }
            if (!keep)
                continue;
            if (std::any_of(name.begin(), name.end(), [](char c) { return c >= 'A' && c <= 'Z'; })) {
                std::string &lower = mStorage.emplace_back(name);
                for (char &c : lower)
                    c = lowered(c);
                name = lower;
            }
            // A second attribute of a name is dropped, as the parse drops it.
            if (std::any_of(mAttributes.begin(), mAttributes.end(),
                            [name](const TagAttribute &kept) { return kept.name == name; }))
                continue;
            if (LinkCollector::readsValue(tag, name) && !decode(value))
                mUnsure = true;
            mAttributes.push_back({name, value, original});
        }
    }

    // value with its character references decoded, where the scanner can
    // tell them as the parse would; false where it cannot.
    bool decode(std::string_view &value)
    {
        if (value.find_first_of(std::string_view("&\r\0", 3)) == std::string_view::npos)
            return html::isValidUtf8(value);
        if (value.find_first_of(std::string_view("\r\0", 2)) != std::string_view::npos || !html::isValidUtf8(value))
            return false;
        std::string &out = mStorage.emplace_back();
        for (std::size_t i = 0; i < value.size();) {
            if (value[i] != '&') {
                out += value[i++];
                continue;
            }
            std::size_t end = i + 1;
            if (end < value.size() && value[end] == '#') {
                ++end;
                const bool hex = end < value.size() && (value[end] == 'x' || value[end] == 'X');
                if (hex)
                    ++end;
                const std::size_t digits = end;
                unsigned long code = 0;
                while (end < value.size()
                       && (hex ? std::isxdigit(static_cast<unsigned char>(value[end]))
                               : std::isdigit(static_cast<unsigned char>(value[end])))
                       && code <= 0x10FFFF) {
                    code = code * (hex ? 16 : 10)
                           + static_cast<unsigned long>(std::isdigit(static_cast<unsigned char>(value[end]))
                                                            ? value[end] - '0'
                                                            : lowered(value[end]) - 'a' + 10);
                    ++end;
                }
                if (end == digits) { // "&#" alone is text
                    out += value.substr(i, end - i);
                    i = end;
                    continue;
                }
                if (end >= value.size() || value[end] != ';' || !plainCodePoint(code))
                    return false;
                html::appendUtf8(out, static_cast<char32_t>(code));
                i = end + 1;
                continue;
            }
            while (end < value.size() && isAlnum(value[end]))
                ++end;
            const std::string_view name = value.substr(i + 1, end - i - 1);
            if (name.empty()) { // "& " is text
                out += value[i++];
                continue;
            }
            if (end < value.size() && value[end] == ';') {
                static constexpr std::pair<std::string_view, std::string_view> kKnown[] = {
                    {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", "\xC2\xA0"}};
                bool known = false;
                for (const auto &[entity, text] : kKnown)
                    if (name == entity) {
                        out += text;
                        known = true;
                    }
                if (!known)
                    return false;
                i = end + 1;
                continue;
            }
            // Without a semicolon the parse reads no reference in a value
            // when "=" follows ("?a=1&b=2"), nor in a name longer than any
            // it knows without one; a shorter name may be one.
            if ((end < value.size() && value[end] == '=') || name.size() > 6) {
                out += value.substr(i, end - i);
                i = end;
                continue;
            }
            return false;
        }
        value = out;
        return true;
    }

    bool startTag()
    {
        ++mPos;
        const std::string name = tagName();
        const GumboTag tag = gumbo_tagn_enum(name.data(), static_cast<unsigned int>(name.size()));
        if (!attributes(true, tag)) {
            mPos = mPage.size(); // the parse drops a tag the page ends in
            return true;
        }
        if (mUnsure || name == "image")
            return false;
        // The parse leaves out a form inside a form and most elements inside
        // a list box, and gives a second <body> only the attributes the first
        // lacks.
        if (tag == GUMBO_TAG_FORM && mInForm)
            return true;
        mInForm = mInForm || tag == GUMBO_TAG_FORM;
        if (mInSelect && LinkCollector::readsValues(tag))
            return false;
        mInSelect = mInSelect || tag == GUMBO_TAG_SELECT;
        if (tag == GUMBO_TAG_BODY || tag == GUMBO_TAG_HTML) {
            bool &seen = tag == GUMBO_TAG_BODY ? mBodySeen : mHtmlSeen;
            if (seen && !mAttributes.empty())
                return false;
            seen = true;
        }
        if (!mAttributes.empty())
            mCollector.element(tag, mAttributes);
        if (name == "svg" || name == "math") {
            if (!mSelfClosing)
                ++mForeignDepth;
            return true;
        }
        // Inside SVG and MathML every tag is read as a tag.
        if (mForeignDepth > 0)
            return true;
        if (name == "plaintext") {
            mPos = mPage.size();
        } else if (name == "script") {
            const std::size_t end = rawTextEnd(name);
            const std::string_view text = mPage.substr(mPos, end - mPos);
            // A script that opens a comment and a script in it may hide its
            // end tag from the tokenizer.
            const std::size_t commentOpen = text.find("<!--");
            if (commentOpen != std::string_view::npos
                && html::lower(text.substr(commentOpen)).find("<script") != std::string::npos)
                return false;
            mPos = end;
        } else if (name == "style") {
            const std::size_t end = rawTextEnd(name);
            if (end > mPos)
                mCollector.styleText(mPage.substr(mPos, end - mPos));
            mPos = end;
        } else if (name == "textarea" || name == "title" || name == "xmp" || name == "iframe" || name == "noembed"
                   || name == "noframes") {
            mPos = rawTextEnd(name);
        }
        return true;
    }

    // Where the text of a raw text element ends: at its end tag ("</name"
    // then a space, '/' or '>', in any case), or the page's end.
    std::size_t rawTextEnd(std::string_view name) const
    {
        for (std::size_t i = mPos;;) {
            const std::size_t close = mPage.find("</", i);
            if (close == std::string_view::npos)
                return mPage.size();
            std::size_t k = 0;
            while (k < name.size() && lowered(at(close + 2 + k)) == name[k])
                ++k;
            const char after = at(close + 2 + name.size());
            if (k == name.size() && (isTagSpace(after) || after == '/' || after == '>'))
                return close;
            i = close + 2;
        }
    }

    std::string_view mPage;
    const std::atomic<bool> *mStop;
    LinkCollector mCollector;
    std::size_t mPos = 0;
    std::vector<TagAttribute> mAttributes;
    std::deque<std::string> mStorage; // lowered names and decoded values the attributes point into
    bool mUnsure = false;
    bool mSelfClosing = false;
    int mForeignDepth = 0;
    bool mInForm = false, mInSelect = false, mBodySeen = false, mHtmlSeen = false;
};

} // namespace

std::optional<PageLinks> scanHtmlLinks(std::string_view page, const std::atomic<bool> *stop)
{
    Scanner scanner(page, stop);
    if (!scanner.run())
        return std::nullopt;
    return scanner.take();
}

} // namespace quorlix::mirror
