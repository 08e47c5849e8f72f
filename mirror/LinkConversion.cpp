#include "mirror/LinkConversion.h"

#include "mirror/HtmlLinkScanner.h"
#include "mirror/PageLinks.h"
#include "mirror/Utf8.h"

#include <algorithm>

namespace quorlix::mirror {

namespace {

std::string htmlQuoted(std::string_view text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case ' ': out += "&#32;"; break;
        default: out += c;
        }
    }
    return out;
}

// Characters beyond ASCII as "&#N;", when text is UTF-8; else unchanged.
std::string numericReferences(const std::string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += text[i++];
            continue;
        }
        char32_t code = 0;
        const std::size_t length = utf8CharLength(text, i, code);
        if (length == 0)
            return text;
        out += "&#" + std::to_string(static_cast<unsigned long>(code)) + ";";
        i += length;
    }
    return out;
}

// A saved name as it goes into a link: the bytes a link would read as an
// address's own ('%', '#', ';', '?') escaped.
std::string localQuoted(const std::string &name, bool inCss)
{
    std::string out;
    for (char c : name) {
        switch (c) {
        case '%': out += "%25"; break;
        case '#': out += "%23"; break;
        case ';': out += "%3B"; break;
        case '?': out += "%3F"; break;
        default: out += c;
        }
    }
    return inCss ? out : numericReferences(htmlQuoted(out));
}

// Whether text, written into an attribute by htmlQuoted (and numeric
// references for what lies beyond ASCII), reads back as itself: not for
// control characters (a reader turns CR and NUL into others), nor for
// U+0080 to U+009F (read back as Windows-1252's characters).
bool readsBackAsWritten(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F
            || (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0))
            return false;
    }
    return true;
}

// Whether text written plain (in a style sheet, srcset or refresh) or as a
// fragment kept as it was may end its value, or its element, early.
bool mayEndValue(std::string_view text, char quote)
{
    for (const char c : text)
        if (c == quote || c == '"' || c == '\'' || c == '<' || c == '>' || static_cast<unsigned char>(c) <= ' ')
            return true;
    return false;
}

} // namespace

std::string relativePath(const std::string &from, const std::string &to)
{
    std::size_t common = 0;
    for (std::size_t i = 0; i < from.size() && i < to.size() && from[i] == to[i]; ++i)
        if (from[i] == '/')
            common = i + 1;
    std::string out;
    for (std::size_t i = common; i < from.size(); ++i)
        if (from[i] == '/')
            out += "../";
    return out + to.substr(common);
}

void forEachLinkTarget(const std::vector<PageLink> &links, const Url &address,
                       const std::function<void(const std::string &target)> &visit)
{
    std::vector<const PageLink *> inOrder;
    inOrder.reserve(links.size());
    for (const PageLink &link : links)
        inOrder.push_back(&link);
    std::stable_sort(inOrder.begin(), inOrder.end(),
                     [](const PageLink *a, const PageLink *b) { return a->offset < b->offset; });
    Url base = address;
    for (const PageLink *link : inOrder) {
        if (link->isBase) {
            if (auto resolved = Url::resolve(address, link->text))
                base = *resolved;
        } else if (auto target = Url::resolve(base, link->text)) {
            visit(target->text());
        }
    }
}

std::string convertLinks(std::string_view content, bool isCss, const Url &address, const std::string &savedAs,
                         const SavedFileLookup &lookup, int *converted)
{
    PageLinks found;
    std::optional<PageLinks> scanned;
    if (isCss)
        findCssLinks(content, 0, found.links);
    else if (content.size() >= kScannedFrom && (scanned = scanHtmlLinks(content)))
        found = std::move(*scanned);
    else
        found = findHtmlLinks(content);
    return convertFoundLinks(content, std::move(found.links), address, savedAs, lookup, converted);
}

std::string convertFoundLinks(std::string_view content, std::vector<PageLink> links, const Url &address,
                              const std::string &savedAs, const SavedFileLookup &lookup, int *converted,
                              ConvertedHrefs *hrefs)
{
    PageLinks found;
    found.links = std::move(links);
    std::stable_sort(found.links.begin(), found.links.end(),
                     [](const PageLink &a, const PageLink &b) { return a.offset < b.offset; });

    std::string out;
    out.reserve(content.size() + content.size() / 8);
    std::size_t done = 0;
    Url base = address;
    int count = 0;
    for (const PageLink &link : found.links) {
        if (link.offset < done || link.offset + link.length > content.size())
            continue; // overlaps one already written
        std::string replacement;
        std::string readBack; // what a reader of the page reads the replacement as
        bool replace = false;
        if (link.isBase) {
            if (auto resolved = Url::resolve(address, link.text))
                base = *resolved;
            replace = true;
        } else if (auto target = Url::resolve(base, link.text)) {
            if (const std::string *file = lookup(target->text())) {
                readBack = localQuoted(relativePath(savedAs, *file), true);
                replacement = link.inCss ? readBack : numericReferences(htmlQuoted(readBack));
                replace = true;
            } else {
                const std::string lowered = [&] {
                    std::string s = link.text.substr(0, 8);
                    std::transform(s.begin(), s.end(), s.begin(), ::tolower);
                    return s;
                }();
                const bool complete = lowered.rfind("http:", 0) == 0 || lowered.rfind("https:", 0) == 0;
                if (!complete) {
                    readBack = target->text();
                    replacement = link.inCss || link.form == PageLink::Form::Plain ? readBack : htmlQuoted(readBack);
                    replace = true;
                }
            }
        }
        if (!replace)
            continue;
        out.append(content.substr(done, link.offset - done));
        const std::string_view raw = content.substr(link.offset, link.length);
        if (link.form == PageLink::Form::Plain) {
            out += replacement;
            if (hrefs && mayEndValue(replacement, '"'))
                hrefs->markupMayChange = true;
        } else {
            std::string_view inner = raw;
            char quote = '"';
            if (inner.size() >= 2 && (inner.front() == '"' || inner.front() == '\'')) {
                quote = inner.front();
                inner = inner.substr(1, inner.size() - 2);
            }
            out += quote;
            out += replacement;
            std::string_view fragment;
            if (!link.isBase) {
                if (const std::size_t hash = inner.find('#'); hash != std::string_view::npos)
                    fragment = inner.substr(hash);
                out.append(fragment);
            }
            out += quote;
            if (hrefs) {
                if (replacement.find(quote) != std::string::npos || fragment.find(quote) != std::string_view::npos)
                    hrefs->markupMayChange = true;
                // A fragment is kept as written: read back as itself unless
                // it holds a reference or a character a reader changes.
                const bool exact = readsBackAsWritten(readBack)
                                   && fragment.find_first_of(std::string_view("&\r\0", 3)) == std::string_view::npos;
                hrefs->byOffset.emplace_back(link.offset,
                                             exact ? std::optional(readBack + std::string(fragment)) : std::nullopt);
            }
        }
        done = link.offset + link.length;
        ++count;
    }
    out.append(content.substr(done));
    if (converted)
        *converted = count;
    return out;
}

} // namespace quorlix::mirror
