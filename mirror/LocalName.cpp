#include "mirror/LocalName.h"

#include <cctype>

namespace quorlix::mirror {

namespace {

bool forbidden(unsigned char c)
{
    return c < 32 || (c >= 127 && c < 160) || c == '\\' || c == '|' || c == '/' || c == ':' || c == '?' || c == '"'
           || c == '*' || c == '<' || c == '>';
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
        for (char ch : decoded) {
            const auto c = static_cast<unsigned char>(ch);
            if (forbidden(c)) {
                element += '%';
                element += digits[c >> 4];
                element += digits[c & 15];
            } else {
                element += ch;
            }
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
        if (std::tolower(static_cast<unsigned char>(name[name.size() - suffix.size() + i])) != suffix[i])
            return false;
    return true;
}

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

std::string withAdjustedExtension(std::string name, ContentKind kind)
{
    if (kind == ContentKind::Html && !endsWithNoCase(name, ".html") && !endsWithNoCase(name, ".htm"))
        name += ".html";
    else if (kind == ContentKind::Css && !endsWithNoCase(name, ".css"))
        name += ".css";
    return name;
}

} // namespace quorlix::mirror
