#include "mirror/PageLinks.h"

#include <cstdint>
#include <cstring>

namespace quorlix::mirror {

namespace {

void put(std::string &out, std::uint64_t value)
{
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    out.append(bytes, sizeof value);
}

bool take(std::string_view &in, std::uint64_t &value)
{
    if (in.size() < sizeof value)
        return false;
    std::memcpy(&value, in.data(), sizeof value);
    in.remove_prefix(sizeof value);
    return true;
}

} // namespace

std::string recordOfLinks(const std::vector<PageLink> &links)
{
    std::string out;
    put(out, links.size());
    for (const PageLink &link : links) {
        put(out, link.offset);
        put(out, link.length);
        const unsigned flags = (link.form == PageLink::Form::Plain ? 1u : 0u) | (link.isInline ? 2u : 0u)
                               | (link.expectsHtml ? 4u : 0u) | (link.expectsCss ? 8u : 0u) | (link.inCss ? 16u : 0u)
                               | (link.followed ? 32u : 0u) | (link.isBase ? 64u : 0u);
        put(out, flags);
        put(out, link.text.size());
        out += link.text;
    }
    return out;
}

bool linksFromRecord(std::string_view record, std::vector<PageLink> &links)
{
    std::uint64_t count = 0;
    if (!take(record, count) || count > record.size())
        return false;
    links.clear();
    links.reserve(count);
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint64_t offset = 0, length = 0, flags = 0, size = 0;
        if (!take(record, offset) || !take(record, length) || !take(record, flags) || !take(record, size)
            || size > record.size())
            return false;
        PageLink link;
        link.offset = offset;
        link.length = length;
        link.form = flags & 1 ? PageLink::Form::Plain : PageLink::Form::Attribute;
        link.isInline = flags & 2;
        link.expectsHtml = flags & 4;
        link.expectsCss = flags & 8;
        link.inCss = flags & 16;
        link.followed = flags & 32;
        link.isBase = flags & 64;
        link.text = std::string(record.substr(0, size));
        record.remove_prefix(size);
        links.push_back(std::move(link));
    }
    return record.empty();
}

} // namespace quorlix::mirror
