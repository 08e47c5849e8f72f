#include "chm/system/PlainIndexKeywords.h"

#include "html/AsciiText.h"
#include "html/Charset.h"
#include "html/Utf8Append.h"

#include <string>
#include <utility>

namespace quorlix::chm {

namespace {

struct Tag {
    std::string name; // lower case
    bool end = false;
    std::vector<std::pair<std::string, std::string>> attributes; // values decoded

    const std::string *attribute(std::string_view key) const
    {
        for (const auto &[name, value] : attributes)
            if (name == key)
                return &value;
        return nullptr;
    }
};

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}


// NUL and the other C0 and C1 controls but for the blanks, and DEL.
bool hasControlCharacters(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte < 0x20 && !html::isAsciiSpace(text[i])) || byte == 0x7F
            || (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0))
            return true;
    }
    return false;
}

// An attribute's value with its references resolved; nullopt for a
// reference the HTML parser would read in a way of its own (a legacy name,
// one without its semicolon, a code it replaces) and for characters it
// rewrites (carriage returns, NULs, controls).
std::optional<std::string> decodedValue(std::string_view raw)
{
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size();) {
        const char c = raw[i];
        if (c != '&') {
            if ((static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') || c == 0x7F)
                return std::nullopt;
            out += c;
            ++i;
            continue;
        }
        const std::size_t semicolon = raw.find(';', i);
        if (semicolon == std::string_view::npos || semicolon - i > 10)
            return std::nullopt;
        const std::string_view name = raw.substr(i + 1, semicolon - i - 1);
        i = semicolon + 1;
        if (name == "amp")
            out += '&';
        else if (name == "lt")
            out += '<';
        else if (name == "gt")
            out += '>';
        else if (name == "quot")
            out += '"';
        else if (name == "apos")
            out += '\'';
        else if (name.size() >= 2 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const std::string_view digits = name.substr(hex ? 2 : 1);
            if (digits.empty() || digits.size() > 6)
                return std::nullopt;
            char32_t code = 0;
            for (const char d : digits) {
                const int value = d >= '0' && d <= '9'                ? d - '0'
                                  : hex && (d | 0x20) >= 'a' && (d | 0x20) <= 'f' ? (d | 0x20) - 'a' + 10
                                                                                  : -1;
                if (value < 0)
                    return std::nullopt;
                code = code * (hex ? 16 : 10) + static_cast<char32_t>(value);
            }
            // The parser replaces or keeps these with a rule of its own.
            if (code < 0x20 || (code >= 0x7F && code <= 0x9F) || (code >= 0xD800 && code <= 0xDFFF)
                || (code >= 0xFDD0 && code <= 0xFDEF) || (code & 0xFFFE) == 0xFFFE || code > 0x10FFFF)
                return std::nullopt;
            html::appendUtf8(out, code);
        } else {
            return std::nullopt;
        }
    }
    return out;
}

class Scanner {
public:
    explicit Scanner(std::string_view text) : mText(text) {}

    // The next tag, text between tags passed over. nullopt at the end;
    // gaveUp() when what follows is more than plain markup.
    std::optional<Tag> next()
    {
        for (;;) {
            const std::size_t open = mText.find('<', mAt);
            if (open == std::string_view::npos)
                return std::nullopt;
            mAt = open + 1;
            const std::string_view rest = mText.substr(mAt);
            if (rest.starts_with("!--")) {
                const std::size_t close = mText.find("-->", mAt + 3);
                // "<!-->" and "<!--->" end at once for the parser, and so
                // does "--!>".
                if (close == std::string_view::npos || rest.starts_with("!-->") || rest.starts_with("!--->")
                    || mText.substr(mAt, close - mAt).find("--!") != std::string_view::npos)
                    return giveUp();
                mAt = close + 3;
                continue;
            }
            if (rest.size() >= 8 && html::lower(rest.substr(0, 8)) == "!doctype") {
                const std::size_t close = mText.find('>', mAt);
                if (close == std::string_view::npos)
                    return giveUp();
                mAt = close + 1;
                continue;
            }
            Tag tag;
            if (!rest.empty() && rest[0] == '/') {
                tag.end = true;
                ++mAt;
            }
            if (mAt >= mText.size() || !isLetter(mText[mAt]))
                return giveUp();
            while (mAt < mText.size() && !html::isAsciiSpace(mText[mAt]) && mText[mAt] != '/' && mText[mAt] != '>') {
                if (!isLetter(mText[mAt]) && !(mText[mAt] >= '0' && mText[mAt] <= '9'))
                    return giveUp();
                tag.name += html::asciiLower(mText[mAt++]);
            }
            if (!attributes(tag) || (tag.end && !tag.attributes.empty()))
                return giveUp();
            return tag;
        }
    }

    bool gaveUp() const { return mGaveUp; }

private:
    std::nullopt_t giveUp()
    {
        mGaveUp = true;
        return std::nullopt;
    }

    void spaces()
    {
        while (mAt < mText.size() && html::isAsciiSpace(mText[mAt]))
            ++mAt;
    }

    bool attributes(Tag &tag)
    {
        for (;;) {
            spaces();
            if (mAt >= mText.size())
                return false;
            if (mText[mAt] == '>') {
                ++mAt;
                return true;
            }
            if (mText.substr(mAt).starts_with("/>")) {
                mAt += 2;
                return true;
            }
            std::string name;
            while (mAt < mText.size() && !html::isAsciiSpace(mText[mAt]) && mText[mAt] != '/' && mText[mAt] != '>'
                   && mText[mAt] != '=') {
                const char c = mText[mAt++];
                if (c == '"' || c == '\'' || c == '<' || c == '\0')
                    return false;
                name += html::asciiLower(c);
            }
            if (name.empty())
                return false;
            spaces();
            std::string_view raw;
            if (mAt < mText.size() && mText[mAt] == '=') {
                ++mAt;
                spaces();
                if (mAt >= mText.size())
                    return false;
                const char quote = mText[mAt];
                if (quote == '"' || quote == '\'') {
                    const std::size_t close = mText.find(quote, mAt + 1);
                    if (close == std::string_view::npos)
                        return false;
                    raw = mText.substr(mAt + 1, close - mAt - 1);
                    mAt = close + 1;
                    // The parser wants space or the tag's end after a value.
                    if (mAt < mText.size() && !html::isAsciiSpace(mText[mAt]) && mText[mAt] != '>' && mText[mAt] != '/')
                        return false;
                } else {
                    const std::size_t start = mAt;
                    while (mAt < mText.size() && !html::isAsciiSpace(mText[mAt]) && mText[mAt] != '>') {
                        const char c = mText[mAt++];
                        if (c == '"' || c == '\'' || c == '<' || c == '=' || c == '`')
                            return false;
                    }
                    raw = mText.substr(start, mAt - start);
                }
            }
            std::optional<std::string> value = decodedValue(raw);
            if (!value)
                return false;
            // The parser's way with a repeated name reaches into the next
            // attribute's value.
            if (tag.attribute(name))
                return false;
            tag.attributes.emplace_back(std::move(name), std::move(*value));
        }
    }

    std::string_view mText;
    std::size_t mAt = 0;
    bool mGaveUp = false;
};

// One open list (the document's body is the outermost) and the list item
// open in it.
struct OpenList {
    bool itemOpen = false;
    bool itemDecided = false;      // its sitemap object has been read
    bool itemHasList = false;      // a list nested in it has started
    std::optional<std::size_t> keyword; // the keyword it made
};

} // namespace

std::optional<std::vector<IndexKeyword>> readPlainIndexKeywords(std::string_view utf8)
{
    // The parser has rules of its own for control characters and for what
    // is not UTF-8 (overlong forms and surrogates among them).
    if (hasControlCharacters(utf8) || !html::isValidUtf8(utf8))
        return std::nullopt;
    std::vector<IndexKeyword> keywords;
    std::vector<OpenList> lists(1);
    bool inObject = false, objectCounts = false;
    std::string name;
    std::vector<std::string> places;

    // The keyword a new entry of the innermost list belongs under.
    const auto parent = [&]() -> const IndexKeyword * {
        for (std::size_t i = lists.size() - 1; i-- > 0;)
            if (lists[i].itemOpen && lists[i].keyword)
                return &keywords[*lists[i].keyword];
        return nullptr;
    };

    Scanner scanner(utf8);
    while (const std::optional<Tag> tag = scanner.next()) {
        const std::string &element = tag->name;
        OpenList &list = lists.back();
        if (element == "html" || element == "head" || element == "body" || element == "meta") {
            if (inObject)
                return std::nullopt;
        } else if (element == "ul") {
            if (inObject)
                return std::nullopt;
            if (!tag->end) {
                list.itemHasList = list.itemOpen;
                lists.emplace_back();
            } else {
                if (lists.size() == 1)
                    return std::nullopt;
                lists.pop_back();
            }
        } else if (element == "li") {
            if (inObject || (tag->end && !list.itemOpen))
                return std::nullopt;
            list = OpenList{};
            list.itemOpen = !tag->end;
        } else if (element == "object") {
            if (tag->end != inObject)
                return std::nullopt;
            if (!tag->end) {
                inObject = true;
                const std::string *type = tag->attribute("type");
                objectCounts = list.itemOpen && !list.itemDecided && type && *type == "text/sitemap";
                // A list item's object after its own nested list: the
                // parser would file the nested entries under it.
                if (objectCounts && list.itemHasList)
                    return std::nullopt;
                name.clear();
                places.clear();
                continue;
            }
            inObject = false;
            if (!objectCounts)
                continue;
            list.itemDecided = true;
            if (name.empty())
                continue;
            IndexKeyword keyword = makeIndexKeyword(parent(), name);
            keyword.places = std::move(places);
            places = {};
            list.keyword = keywords.size();
            keywords.push_back(std::move(keyword));
        } else if (element == "param") {
            if (!inObject || !objectCounts || tag->end)
                continue;
            const std::string *key = tag->attribute("name");
            const std::string *value = tag->attribute("value");
            if (!key || !value)
                continue;
            if ((*key == "Name" || *key == "name") && name.empty())
                name = *value;
            else if ((*key == "Local" || *key == "local") && !value->empty())
                places.push_back(*value);
        } else {
            return std::nullopt;
        }
    }
    if (scanner.gaveUp() || inObject)
        return std::nullopt;
    return keywords;
}

} // namespace quorlix::chm
