// What an element says about the page's links: which attribute of which
// element holds an address, and what it is for.

#include "mirror/LinkCollector.h"

#include "html/AsciiText.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string>

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
    {GUMBO_TAG_A, "href", false, true},          {GUMBO_TAG_APPLET, "code", true, false},
    {GUMBO_TAG_AREA, "href", false, true},       {GUMBO_TAG_BGSOUND, "src", true, false},
    {GUMBO_TAG_BODY, "background", true, false}, {GUMBO_TAG_EMBED, "href", false, true},
    {GUMBO_TAG_EMBED, "src", true, true},        {GUMBO_TAG_FRAME, "src", true, true},
    {GUMBO_TAG_IFRAME, "src", true, true},       {GUMBO_TAG_IMG, "href", true, false},
    {GUMBO_TAG_IMG, "lowsrc", true, false},      {GUMBO_TAG_IMG, "src", true, false},
    {GUMBO_TAG_INPUT, "src", true, false},       {GUMBO_TAG_OBJECT, "data", true, false},
    {GUMBO_TAG_SCRIPT, "src", true, false},      {GUMBO_TAG_TABLE, "background", true, false},
    {GUMBO_TAG_TD, "background", true, false},   {GUMBO_TAG_TH, "background", true, false},
    {GUMBO_TAG_VIDEO, "src", true, false},       {GUMBO_TAG_VIDEO, "poster", true, false},
    {GUMBO_TAG_AUDIO, "src", true, false},       {GUMBO_TAG_AUDIO, "poster", true, false},
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

// The first attribute of that name (later ones were dropped as gumbo drops them).
const TagAttribute *attributeNamed(std::span<const TagAttribute> attributes, std::string_view name)
{
    for (const TagAttribute &attribute : attributes)
        if (attribute.name == name)
            return &attribute;
    return nullptr;
}

} // namespace

bool LinkCollector::readsValue(GumboTag tag, std::string_view attribute)
{
    switch (tag) {
    case GUMBO_TAG_BASE:
        return attribute == "href";
    case GUMBO_TAG_LINK:
        return attribute == "href" || attribute == "rel";
    case GUMBO_TAG_FORM:
        return attribute == "action";
    case GUMBO_TAG_META:
        return attribute == "content" || attribute == "name" || attribute == "http-equiv";
    default:
        return std::any_of(std::begin(kUrlAttributes), std::end(kUrlAttributes),
                           [&](const UrlAttribute &known) { return known.tag == tag && attribute == known.attribute; });
    }
}

bool LinkCollector::readsValues(GumboTag tag)
{
    return tag == GUMBO_TAG_BASE || tag == GUMBO_TAG_LINK || tag == GUMBO_TAG_FORM || tag == GUMBO_TAG_META
           || std::any_of(std::begin(kUrlAttributes), std::end(kUrlAttributes),
                          [tag](const UrlAttribute &known) { return known.tag == tag; });
}

void LinkCollector::element(GumboTag tag, std::span<const TagAttribute> attributes)
{
    for (const TagAttribute &attribute : attributes)
        if (attribute.name == "style")
            styleAttribute(attribute);
    switch (tag) {
    case GUMBO_TAG_BASE:
        if (const TagAttribute *href = attributeNamed(attributes, "href")) {
            if (PageLink *link = add(*href))
                link->isBase = true;
        }
        return;
    case GUMBO_TAG_LINK:
        if (const TagAttribute *href = attributeNamed(attributes, "href")) {
            if (PageLink *link = add(*href)) {
                const TagAttribute *rel = attributeNamed(attributes, "rel");
                const std::string_view rels = rel ? rel->value : std::string_view();
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
        if (const TagAttribute *action = attributeNamed(attributes, "action")) {
            if (PageLink *link = add(*action))
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
        if (known.tag != tag)
            continue;
        if (const TagAttribute *attribute = attributeNamed(attributes, known.attribute)) {
            if (PageLink *link = add(*attribute)) {
                link->isInline = known.isInline;
                link->expectsHtml = known.expectsHtml;
            }
        }
    }
    if (tag == GUMBO_TAG_IMG || tag == GUMBO_TAG_SOURCE) {
        if (const TagAttribute *srcset = attributeNamed(attributes, "srcset"))
            sourceSet(*srcset);
    }
}

void LinkCollector::styleText(std::string_view original)
{
    std::size_t offset = 0;
    if (within(original, offset))
        findCssLinks(mPage.substr(offset, original.size()), offset, result.links);
}

bool LinkCollector::within(std::string_view bytes, std::size_t &offset) const
{
    const char *data = bytes.data();
    if (!data || data < mPage.data() || data + bytes.size() > mPage.data() + mPage.size())
        return false;
    offset = static_cast<std::size_t>(data - mPage.data());
    return true;
}

bool LinkCollector::rawValue(const TagAttribute &attribute, std::size_t &offset, std::size_t &length) const
{
    if (!within(attribute.original, offset))
        return false;
    length = attribute.original.size();
    if (length >= 2 && (mPage[offset] == '"' || mPage[offset] == '\'')) {
        ++offset;
        length -= 2;
    }
    return true;
}

PageLink *LinkCollector::add(const TagAttribute &attribute)
{
    std::size_t offset = 0;
    const std::size_t length = attribute.original.size();
    if (length == 0 || !within(attribute.original, offset))
        return nullptr;
    // An empty value is a link to the page itself.
    PageLink link;
    link.text = std::string(html::trimmed(attribute.value));
    link.offset = offset;
    link.length = length;
    result.links.push_back(std::move(link));
    return &result.links.back();
}

void LinkCollector::styleAttribute(const TagAttribute &attribute)
{
    std::size_t offset = 0, length = 0;
    if (rawValue(attribute, offset, length))
        findCssLinks(mPage.substr(offset, length), offset, result.links);
}

// "a.png 1x, b.png 2x": every address, as plain text in the value.
void LinkCollector::sourceSet(const TagAttribute &attribute)
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

void LinkCollector::meta(std::span<const TagAttribute> attributes)
{
    const TagAttribute *content = attributeNamed(attributes, "content");
    if (!content)
        return;
    const TagAttribute *name = attributeNamed(attributes, "name");
    if (name && html::lower(name->value) == "robots") {
        const std::string value = html::lower(content->value);
        if (value.find("nofollow") != std::string::npos || value.find("none") != std::string::npos)
            result.noFollow = true;
        return;
    }
    const TagAttribute *equiv = attributeNamed(attributes, "http-equiv");
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

} // namespace quorlix::mirror
