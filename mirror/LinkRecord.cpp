#include "mirror/PageLinks.h"

#include "html/RecordBytes.h"

#include <cstdint>

namespace quorlix::mirror {

std::string recordOfLinks(const std::vector<PageLink> &links)
{
    html::Writer w;
    w.number(links.size());
    for (const PageLink &link : links) {
        w.number(link.offset);
        w.number(link.length);
        const unsigned flags = (link.form == PageLink::Form::Plain ? 1u : 0u) | (link.isInline ? 2u : 0u)
                               | (link.expectsHtml ? 4u : 0u) | (link.expectsCss ? 8u : 0u) | (link.inCss ? 16u : 0u)
                               | (link.followed ? 32u : 0u) | (link.isBase ? 64u : 0u);
        w.number(flags);
        w.text(link.text);
    }
    return std::move(w.out);
}

bool linksFromRecord(std::string_view record, std::vector<PageLink> &links)
{
    html::Reader r(record);
    const std::uint64_t count = r.count(4 * 8);
    if (!r.ok())
        return false;
    links.clear();
    links.reserve(count);
    for (std::uint64_t i = 0; i < count && r.ok(); ++i) {
        PageLink link;
        link.offset = r.number();
        link.length = r.number();
        const std::uint64_t flags = r.number();
        link.form = flags & 1 ? PageLink::Form::Plain : PageLink::Form::Attribute;
        link.isInline = flags & 2;
        link.expectsHtml = flags & 4;
        link.expectsCss = flags & 8;
        link.inCss = flags & 16;
        link.followed = flags & 32;
        link.isBase = flags & 64;
        link.text = std::string(r.text());
        links.push_back(std::move(link));
    }
    return r.atEnd();
}

} // namespace quorlix::mirror
