// The links in a page, found in gumbo's tree of it; each attribute's value
// still points into the page's own bytes, so a link can be rewritten in
// place.

#include "mirror/PageLinks.h"

#include "html/AsciiText.h"
#include "html/EarlyReading.h"
#include "html/PageParse.h"

#include <gumbo.h>

#include <cctype>
#include <cstring>
#include <vector>

namespace quorlix::mirror {

namespace {

struct UrlAttribute {
    GumboTag tag;
    const char *attribute;
    bool isInline;
    bool expectsHtml;
};

// Which attribute of which element holds an address, and what it is for.
constexpr UrlAttribute kUrlAttributes[] = {
    {GUMBO_TAG_A, "href", false, true},
    {GUMBO_TAG_APPLET, "code", true, false},
    {GUMBO_TAG_AREA, "href", false, true},
    {GUMBO_TAG_BGSOUND, "src", true, false},
    {GUMBO_TAG_BODY, "background", true, false},
    {GUMBO_TAG_EMBED, "href", false, true},
    {GUMBO_TAG_EMBED, "src", true, true},
    {GUMBO_TAG_FRAME, "src", true, true},
    {GUMBO_TAG_IFRAME, "src", true, true},
    {GUMBO_TAG_IMG, "href", true, false},
    {GUMBO_TAG_IMG, "lowsrc", true, false},
    {GUMBO_TAG_IMG, "src", true, false},
    {GUMBO_TAG_INPUT, "src", true, false},
    {GUMBO_TAG_OBJECT, "data", true, false},
    {GUMBO_TAG_SCRIPT, "src", true, false},
    {GUMBO_TAG_TABLE, "background", true, false},
    {GUMBO_TAG_TD, "background", true, false},
    {GUMBO_TAG_TH, "background", true, false},
    {GUMBO_TAG_VIDEO, "src", true, false},
    {GUMBO_TAG_VIDEO, "poster", true, false},
    {GUMBO_TAG_AUDIO, "src", true, false},
    {GUMBO_TAG_AUDIO, "poster", true, false},
    {GUMBO_TAG_SOURCE, "src", true, false},
};

bool hasToken(std::string_view list, std::string_view token)
{
    const std::string text = html::lower(list);
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && html::isAsciiSpace(text[i]))
            ++i;
        std::size_t end = i;
        while (end < text.size() && !html::isAsciiSpace(text[end]))
            ++end;
        if (std::string_view(text).substr(i, end - i) == token)
            return true;
        i = end;
    }
    return false;
}

class Collector {
public:
    explicit Collector(std::string_view page) : mPage(page) {}

    PageLinks result;

    void element(const GumboElement &element)
    {
        const GumboVector &attributes = element.attributes;
        for (unsigned int i = 0; i < attributes.length; ++i) {
            const auto *attribute = static_cast<const GumboAttribute *>(attributes.data[i]);
            if (std::strcmp(attribute->name, "style") == 0)
                styleAttribute(*attribute);
        }
        switch (element.tag) {
        case GUMBO_TAG_BASE:
            if (const GumboAttribute *href = gumbo_get_attribute(&attributes, "href")) {
                if (PageLink *link = add(*href, href->value))
                    link->isBase = true;
            }
            return;
        case GUMBO_TAG_LINK:
            if (const GumboAttribute *href = gumbo_get_attribute(&attributes, "href")) {
                if (PageLink *link = add(*href, href->value)) {
                    const GumboAttribute *rel = gumbo_get_attribute(&attributes, "rel");
                    const std::string_view rels = rel ? rel->value : "";
                    if (hasToken(rels, "stylesheet")) {
                        link->isInline = true;
                        link->expectsCss = true;
                    } else if (hasToken(rels, "icon") || hasToken(rels, "apple-touch-icon")
                               || hasToken(rels, "apple-touch-icon-precomposed")) {
                        link->isInline = true;
                    } else {
                        link->expectsHtml = true;
                    }
                }
            }
            return;
        case GUMBO_TAG_FORM:
            if (const GumboAttribute *action = gumbo_get_attribute(&attributes, "action")) {
                if (PageLink *link = add(*action, action->value))
                    link->followed = false;
            }
            return;
        case GUMBO_TAG_META:
            meta(attributes);
            return;
        default:
            break;
        }
        for (const UrlAttribute &known : kUrlAttributes) {
            if (known.tag != element.tag)
                continue;
            if (const GumboAttribute *attribute = gumbo_get_attribute(&attributes, known.attribute)) {
                if (PageLink *link = add(*attribute, attribute->value)) {
                    link->isInline = known.isInline;
                    link->expectsHtml = known.expectsHtml;
                }
            }
        }
        if (element.tag == GUMBO_TAG_IMG || element.tag == GUMBO_TAG_SOURCE) {
            if (const GumboAttribute *srcset = gumbo_get_attribute(&attributes, "srcset"))
                sourceSet(*srcset);
        }
    }

    void styleText(const GumboText &text)
    {
        std::size_t offset = 0;
        if (within(text.original_text.data, text.original_text.length, offset))
            findCssLinks(mPage.substr(offset, text.original_text.length), offset, result.links);
    }

private:
    // Where bytes lie in the page, if they do (gumbo makes up some values).
    bool within(const char *data, std::size_t length, std::size_t &offset) const
    {
        if (!data || data < mPage.data() || data + length > mPage.data() + mPage.size())
            return false;
        offset = static_cast<std::size_t>(data - mPage.data());
        return true;
    }

    // The raw value of an attribute without its quotes, and where it starts.
    bool rawValue(const GumboAttribute &attribute, std::size_t &offset, std::size_t &length) const
    {
        if (!within(attribute.original_value.data, attribute.original_value.length, offset))
            return false;
        length = attribute.original_value.length;
        if (length >= 2 && (mPage[offset] == '"' || mPage[offset] == '\'')) {
            ++offset;
            length -= 2;
        }
        return true;
    }

    PageLink *add(const GumboAttribute &attribute, std::string_view value)
    {
        std::size_t offset = 0;
        const std::size_t length = attribute.original_value.length;
        if (length == 0 || !within(attribute.original_value.data, length, offset))
            return nullptr;
        // An empty value is a link to the page itself.
        PageLink link;
        link.text = std::string(html::trimmed(value));
        link.offset = offset;
        link.length = length;
        result.links.push_back(std::move(link));
        return &result.links.back();
    }

    void styleAttribute(const GumboAttribute &attribute)
    {
        std::size_t offset = 0, length = 0;
        if (rawValue(attribute, offset, length))
            findCssLinks(mPage.substr(offset, length), offset, result.links);
    }

    // "a.png 1x, b.png 2x": every address, as plain text in the value.
    void sourceSet(const GumboAttribute &attribute)
    {
        std::size_t offset = 0, length = 0;
        if (!rawValue(attribute, offset, length))
            return;
        const std::string_view value = mPage.substr(offset, length);
        std::size_t i = 0;
        while (i < value.size()) {
            while (i < value.size() && (html::isAsciiSpace(value[i]) || value[i] == ','))
                ++i;
            std::size_t end = i;
            while (end < value.size() && !html::isAsciiSpace(value[end]))
                ++end;
            std::size_t urlEnd = end;
            while (urlEnd > i && value[urlEnd - 1] == ',')
                --urlEnd;
            if (urlEnd > i && value.substr(i, urlEnd - i).find('&') == std::string_view::npos) {
                PageLink link;
                link.text = std::string(value.substr(i, urlEnd - i));
                link.offset = offset + i;
                link.length = urlEnd - i;
                link.form = PageLink::Form::Plain;
                link.isInline = true;
                result.links.push_back(std::move(link));
            }
            // Past the descriptor, to the next comma.
            while (end < value.size() && value[end] != ',')
                ++end;
            i = end;
        }
    }

    void meta(const GumboVector &attributes)
    {
        const GumboAttribute *content = gumbo_get_attribute(&attributes, "content");
        if (!content)
            return;
        const GumboAttribute *name = gumbo_get_attribute(&attributes, "name");
        if (name && html::lower(name->value) == "robots") {
            const std::string value = html::lower(content->value);
            if (value.find("nofollow") != std::string::npos || value.find("none") != std::string::npos)
                result.noFollow = true;
            return;
        }
        const GumboAttribute *equiv = gumbo_get_attribute(&attributes, "http-equiv");
        if (!equiv || html::lower(equiv->value) != "refresh")
            return;
        // "5; url=next.html": the address after "url=".
        std::size_t offset = 0, length = 0;
        if (!rawValue(*content, offset, length))
            return;
        const std::string_view value = mPage.substr(offset, length);
        std::size_t i = 0;
        while (i < value.size() && (std::isdigit(static_cast<unsigned char>(value[i])) || value[i] == '.'))
            ++i;
        while (i < value.size() && html::isAsciiSpace(value[i]))
            ++i;
        if (i >= value.size() || (value[i] != ';' && value[i] != ','))
            return;
        ++i;
        while (i < value.size() && html::isAsciiSpace(value[i]))
            ++i;
        if (html::lower(value.substr(i, 3)) != "url")
            return;
        i += 3;
        while (i < value.size() && html::isAsciiSpace(value[i]))
            ++i;
        if (i >= value.size() || value[i] != '=')
            return;
        ++i;
        while (i < value.size() && html::isAsciiSpace(value[i]))
            ++i;
        std::size_t end = value.size();
        while (end > i && html::isAsciiSpace(value[end - 1]))
            --end;
        if (end <= i || value.substr(i, end - i).find('&') != std::string_view::npos)
            return;
        PageLink link;
        link.text = std::string(value.substr(i, end - i));
        link.offset = offset + i;
        link.length = end - i;
        link.form = PageLink::Form::Plain;
        link.expectsHtml = true;
        result.links.push_back(std::move(link));
    }

    std::string_view mPage;
};

} // namespace

PageLinks findHtmlLinks(std::string_view page, const std::atomic<bool> *stop, html::EarlyPageReading *reading)
{
    Collector collector(page);
    // A page too large or too costly to parse whole is read in pieces: its
    // links are those elements and attributes show without their context.
    const auto collect = [&collector, reading](const GumboNode *root, bool whole) {
        if (reading)
            reading->take(root, whole);
        // Depth first in document order, without recursion: a page may
        // nest deeper than the stack allows.
        std::vector<const GumboNode *> pending{root};
        while (!pending.empty()) {
            const GumboNode *node = pending.back();
            pending.pop_back();
            if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE)
                continue;
            const GumboElement &element = node->v.element;
            collector.element(element);
            if (element.tag == GUMBO_TAG_STYLE) {
                for (unsigned int i = 0; i < element.children.length; ++i) {
                    const auto *child = static_cast<const GumboNode *>(element.children.data[i]);
                    if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE
                        || child->type == GUMBO_NODE_CDATA)
                        collector.styleText(child->v.text);
                }
                continue;
            }
            for (unsigned int i = element.children.length; i > 0; --i)
                pending.push_back(static_cast<const GumboNode *>(element.children.data[i - 1]));
        }
        return true;
    };
    if (html::parsePage(page, stop, collect) == html::PageParse::Stopped)
        return {};
    return std::move(collector.result);
}

} // namespace quorlix::mirror
