#include "mirror/LocalName.h"

#include "mirror/Utf8.h"

#include "html/AsciiText.h"

namespace quorlix::mirror {

namespace {

bool forbidden(unsigned char c)
{
    return c < 32 || c == 127 || c == '\\' || c == '|' || c == '/' || c == ':' || c == '?' || c == '"' || c == '*'
           || c == '<' || c == '>';
}

// Bytes 0x80 to 0x9F are escaped only where they are no part of a UTF-8
// character, so Cyrillic and Japanese names stay UTF-8 on disk ("П" is D0 9F).
// A C1 control or a line separator written in UTF-8 is escaped whole: the
// name goes into the log as it is.
std::size_t escapedBeyondAscii(std::string_view text, std::size_t at, bool &escape)
{
    char32_t code = 0;
    const std::size_t length = utf8CharLength(text, at, code);
    if (length == 0) {
        const auto c = static_cast<unsigned char>(text[at]);
        escape = c < 0xa0;
        return 1;
    }
    escape = isControlBeyondAscii(code);
    return length;
}

// One element of the path (or the query): escapes decoded, then what a
// Windows name cannot hold escaped again.
void appendElement(std::string &out, std::string_view encoded)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string decoded = percentDecode(encoded);
    std::string element;
    if (decoded == "..") {
        element = "%2E%2E";
    } else {
        for (std::size_t i = 0; i < decoded.size();) {
            const auto c = static_cast<unsigned char>(decoded[i]);
            bool escape = forbidden(c);
            const std::size_t length = c >= 0x80 ? escapedBeyondAscii(decoded, i, escape) : 1;
            for (std::size_t k = i; k < i + length; ++k) {
                const auto b = static_cast<unsigned char>(decoded[k]);
                if (escape) {
                    element += '%';
                    element += digits[b >> 4];
                    element += digits[b & 15];
                } else {
                    element += decoded[k];
                }
            }
            i += length;
        }
    }
    if (element.size() > kMaxNameBytes)
        element.resize(kMaxNameBytes);
    out += element;
}

bool endsWithNoCase(const std::string &name, std::string_view suffix)
{
    if (name.size() < suffix.size())
        return false;
    for (std::size_t i = 0; i < suffix.size(); ++i)
        if (html::asciiLower(name[name.size() - suffix.size() + i]) != suffix[i])
            return false;
    return true;
}

// Endings of files that are neither pages nor sheets, as sites serve them.
constexpr std::string_view kOtherEndings[] = {".png", ".jpg", ".jpeg", ".gif", ".svg", ".webp", ".ico",   ".bmp",
                                              ".js",  ".mjs", ".json", ".txt", ".pdf", ".woff", ".woff2", ".ttf",
                                              ".otf", ".eot", ".zip",  ".gz",  ".mp3", ".mp4",  ".webm"};

} // namespace

std::string localName(const Url &url)
{
    std::string out = url.host;
    if (url.port != url.defaultPort())
        out += "+" + std::to_string(url.port);
    std::string_view path = url.path;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        out += '/';
        if (slash == std::string_view::npos) {
            std::string file;
            appendElement(file, path.substr(start));
            if (file.empty())
                file = "index.html";
            if (url.query) {
                file += '@';
                appendElement(file, *url.query);
            }
            if (file.size() > kMaxNameBytes)
                file.resize(kMaxNameBytes);
            out += file;
            break;
        }
        appendElement(out, path.substr(start, slash - start));
        start = slash + 1;
    }
    return out;
}

ContentKind contentKindOf(const std::string &contentType)
{
    if (contentType == "text/html" || contentType == "application/xhtml+xml")
        return ContentKind::Html;
    if (contentType == "text/css")
        return ContentKind::Css;
    return ContentKind::Other;
}

std::string withAdjustedExtension(std::string name, ContentKind kind)
{
    if (kind == ContentKind::Html && !endsWithNoCase(name, ".html") && !endsWithNoCase(name, ".htm"))
        name += ".html";
    else if (kind == ContentKind::Css && !endsWithNoCase(name, ".css"))
        name += ".css";
    return name;
}

std::optional<std::string> foreseenName(const Url &url, bool adjustExtension)
{
    std::string name = localName(url);
    if (!adjustExtension || endsWithNoCase(name, ".html") || endsWithNoCase(name, ".htm")
        || endsWithNoCase(name, ".css"))
        return name;
    for (std::string_view ending : kOtherEndings)
        if (endsWithNoCase(name, ending))
            return name;
    return std::nullopt;
}

} // namespace quorlix::mirror
