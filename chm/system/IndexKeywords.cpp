#include "chm/system/IndexKeywords.h"

#include "chm/system/PlainIndexKeywords.h"

#include "html/Charset.h"
#include "html/GumboNodes.h"
#include "html/ParsedDocument.h"

#include <gumbo.h>

#include <chrono>
#include <optional>

namespace quorlix::chm {

namespace {

constexpr auto kParseTime = std::chrono::seconds(60);

class KeywordWalk {
public:
    std::vector<IndexKeyword> keywords;

    void walk(const GumboNode *node, const IndexKeyword *parent)
    {
        const GumboVector &children = node->v.element.children;
        for (unsigned i = 0; i < children.length; ++i) {
            const auto *child = static_cast<const GumboNode *>(children.data[i]);
            if (child->type != GUMBO_NODE_ELEMENT)
                continue;
            if (html::isHtml(child, GUMBO_TAG_LI))
                item(child, parent);
            else if (!html::isHtml(child, GUMBO_TAG_OBJECT))
                walk(child, parent);
        }
    }

private:
    // A list item: its sitemap object makes a keyword, and the lists
    // inside it hold that keyword's sub-keywords.
    void item(const GumboNode *li, const IndexKeyword *parent)
    {
        const GumboVector &children = li->v.element.children;
        std::optional<IndexKeyword> made;
        for (unsigned i = 0; i < children.length && !made; ++i) {
            const auto *child = static_cast<const GumboNode *>(children.data[i]);
            if (html::isHtml(child, GUMBO_TAG_OBJECT)) {
                const char *type = html::attribute(child, "type");
                if (type && std::string_view(type) == "text/sitemap")
                    made = keyword(child, parent);
            }
        }
        if (made && !made->text.empty()) {
            keywords.push_back(*made);
            walk(li, &*made);
        } else {
            walk(li, parent);
        }
    }

    static IndexKeyword keyword(const GumboNode *object, const IndexKeyword *parent)
    {
        IndexKeyword keyword;
        std::string name;
        const GumboVector &children = object->v.element.children;
        for (unsigned i = 0; i < children.length; ++i) {
            const auto *param = static_cast<const GumboNode *>(children.data[i]);
            if (!html::isHtml(param, GUMBO_TAG_PARAM))
                continue;
            const char *key = html::attribute(param, "name");
            const char *value = html::attribute(param, "value");
            if (!key || !value)
                continue;
            const std::string_view k(key);
            if ((k == "Name" || k == "name") && name.empty())
                name = value;
            else if ((k == "Local" || k == "local") && *value)
                keyword.places.emplace_back(value);
        }
        if (name.empty())
            return keyword;
        IndexKeyword made = makeIndexKeyword(parent, name);
        made.places = std::move(keyword.places);
        return made;
    }
};

} // namespace

IndexKeyword makeIndexKeyword(const IndexKeyword *parent, std::string_view name)
{
    IndexKeyword keyword;
    if (parent) {
        keyword.text = parent->text + ", ";
        keyword.depth = static_cast<std::uint16_t>(parent->depth + 1);
        keyword.lastLevelAt = static_cast<std::uint32_t>(utf16(keyword.text).size());
    }
    keyword.text += name;
    return keyword;
}

std::u16string utf16(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        const int extra = byte < 0x80 ? 0 : byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= utf8.size()) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        char32_t code = extra == 0 ? byte : byte & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k)
            code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += static_cast<std::size_t>(extra) + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
    }
    return out;
}

std::vector<IndexKeyword> parsedIndexKeywords(std::string_view utf8)
{
    const auto document =
        html::ParsedDocument::parse(utf8, nullptr, std::chrono::steady_clock::now() + kParseTime);
    if (!document)
        return {};
    KeywordWalk walk;
    walk.walk(document->root(), nullptr);
    return std::move(walk.keywords);
}

std::vector<IndexKeyword> readIndexKeywords(std::string_view bytes)
{
    // A large site's index runs to megabytes: read where it lies when it is
    // UTF-8 already, as Quorlix writes it.
    std::optional<std::string> decoded;
    if (!html::readsAsUtf8AsIs(bytes))
        decoded = html::decodeToUtf8(bytes, html::declaredCharset(bytes));
    const std::string_view text = decoded ? std::string_view(*decoded) : bytes;
    if (std::optional<std::vector<IndexKeyword>> plain = readPlainIndexKeywords(text))
        return std::move(*plain);
    return parsedIndexKeywords(text);
}

} // namespace quorlix::chm
