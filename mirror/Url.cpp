#include "mirror/Url.h"

#include "html/AsciiText.h"

#include <cctype>
#include <vector>

namespace quorlix::mirror {

namespace {

bool isHex(char c)
{
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

int hexValue(char c)
{
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

// A link's scheme, as in "mailto:" or "HTTP:", lower-cased; empty when the
// link has none (a relative link).
std::string schemeOf(std::string_view link)
{
    for (std::size_t i = 0; i < link.size(); ++i) {
        const char c = link[i];
        if (c == ':')
            return i == 0 ? std::string() : html::lower(link.substr(0, i));
        const bool letter = std::isalpha(static_cast<unsigned char>(c)) != 0;
        if (!(letter || (i > 0 && (std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.'))))
            return std::string();
    }
    return std::string();
}

// "a/./b/../c" -> "a/c"; ".." above the root is dropped.
std::string simplifiedPath(std::string_view path)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    bool endsInFolder = false;
    while (start <= path.size()) {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string_view::npos ? path.size() : slash;
        const std::string_view part = path.substr(start, end - start);
        const bool last = slash == std::string_view::npos;
        if (part == ".") {
            endsInFolder = last;
        } else if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            endsInFolder = last;
        } else {
            parts.push_back(part);
            endsInFolder = false;
        }
        if (last)
            break;
        start = end + 1;
    }
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i)
            out += '/';
        out += parts[i];
    }
    if (endsInFolder && !out.empty())
        out += '/';
    return out;
}

} // namespace

std::string encodeUnsafe(std::string_view text)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        bool unsafe = c <= 0x20 || c >= 0x7f || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^'
                      || c == '`' || c == '{' || c == '|' || c == '}';
        if (c == '%')
            unsafe = !(i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2]));
        if (unsafe) {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string percentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2])) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::optional<Url> Url::parse(std::string_view text)
{
    text = html::trimmed(text);
    const std::string scheme = schemeOf(text);
    if (scheme != "http" && scheme != "https")
        return std::nullopt;
    std::string_view rest = text.substr(scheme.size() + 1);
    if (rest.substr(0, 2) != "//")
        return std::nullopt;
    rest.remove_prefix(2);
    if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos)
        rest = rest.substr(0, hash);
    const std::size_t authorityEnd = rest.find_first_of("/?");
    std::string_view authority = rest.substr(0, authorityEnd);
    rest = authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos)
        authority = authority.substr(at + 1);

    Url url;
    url.scheme = scheme;
    url.port = url.defaultPort();
    std::string_view host = authority;
    if (!host.empty() && host.front() == '[') {
        const std::size_t close = host.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        host = authority.substr(0, close + 1);
        authority.remove_prefix(close + 1);
    } else {
        const std::size_t colon = authority.find(':');
        host = authority.substr(0, colon);
        authority = colon == std::string_view::npos ? std::string_view() : authority.substr(colon);
    }
    if (!authority.empty() && authority.front() == ':') {
        authority.remove_prefix(1);
        if (!authority.empty()) {
            int port = 0;
            for (char c : authority) {
                if (!std::isdigit(static_cast<unsigned char>(c)) || port > 65535)
                    return std::nullopt;
                port = port * 10 + (c - '0');
            }
            if (port <= 0 || port > 65535)
                return std::nullopt;
            url.port = port;
        }
    }
    if (host.empty())
        return std::nullopt;
    for (char c : host)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f || c == '/' || c == '\\' || c == '%' || c == '"' || c == '<'
            || c == '>')
            return std::nullopt;
    url.host = html::lower(host);

    std::string_view path = rest;
    if (const std::size_t question = rest.find('?'); question != std::string_view::npos) {
        path = rest.substr(0, question);
        url.query = encodeUnsafe(rest.substr(question + 1));
    }
    if (!path.empty() && path.front() == '/')
        path.remove_prefix(1);
    url.path = simplifiedPath(encodeUnsafe(path));
    return url;
}

std::optional<Url> Url::resolve(const Url &base, std::string_view link)
{
    // Tabs and line breaks inside an address are dropped, as browsers do.
    std::string cleaned;
    for (char c : html::trimmed(link))
        if (c != '\t' && c != '\n' && c != '\r')
            cleaned += c;
    std::string_view text = cleaned;
    if (!schemeOf(text).empty()) {
        const std::string scheme = schemeOf(text);
        const std::string_view after = text.substr(scheme.size() + 1);
        // "http:page.html" is relative to a base of the same scheme.
        if (scheme == base.scheme && after.substr(0, 2) != "//")
            text = after;
        else
            return parse(text);
    }
    if (text.substr(0, 2) == "//")
        return parse(base.scheme + ":" + std::string(text));

    const std::string origin = base.scheme + "://" + base.hostAndPort();
    if (const std::size_t hash = text.find('#'); hash != std::string_view::npos)
        text = text.substr(0, hash);
    if (text.empty()) {
        return base;
    }
    if (text.front() == '/')
        return parse(origin + std::string(text));
    if (text.front() == '?')
        return parse(origin + "/" + base.path + std::string(text));
    std::string folder = base.path;
    const std::size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
    return parse(origin + "/" + folder + std::string(text));
}

std::string Url::hostAndPort() const
{
    std::string out = host;
    if (port != defaultPort())
        out += ":" + std::to_string(port);
    return out;
}

std::string Url::text() const
{
    std::string out = scheme + "://" + hostAndPort() + "/" + path;
    if (query)
        out += "?" + *query;
    return out;
}

std::string Url::folder() const
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string Url::fileName() const
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace quorlix::mirror
