#include "chm/sheets/StyleSheetFlattener.h"

#include "chm/container/DirectoryName.h"

#include <cctype>
#include <unordered_set>

namespace quorlix::chm {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// The end of the comment or string that starts at text[at].
std::size_t skipCommentOrString(std::string_view text, std::size_t at)
{
    if (text[at] == '/') {
        const std::size_t end = text.find("*/", at + 2);
        return end == std::string_view::npos ? text.size() : end + 2;
    }
    const char quote = text[at];
    std::size_t i = at + 1;
    while (i < text.size() && text[i] != quote && text[i] != '\n')
        i += text[i] == '\\' ? 2 : 1;
    return std::min(i + 1, text.size());
}

bool opensCommentOrString(std::string_view text, std::size_t at)
{
    return text[at] == '"' || text[at] == '\'' || (text[at] == '/' && at + 1 < text.size() && text[at + 1] == '*');
}

// A url(...) token at text[at]: its value and where it ends, or nothing when
// it is not closed.
struct UrlToken {
    std::string value;
    std::size_t end;
};

std::optional<UrlToken> readUrl(std::string_view text, std::size_t at)
{
    std::size_t i = at + 4; // past "url("
    while (i < text.size() && isSpace(text[i]))
        ++i;
    if (i >= text.size())
        return std::nullopt;
    std::string value;
    if (text[i] == '"' || text[i] == '\'') {
        const std::size_t end = skipCommentOrString(text, i);
        if (end > text.size() || text[end - 1] != text[i])
            return std::nullopt;
        value = std::string(text.substr(i + 1, end - i - 2));
        i = end;
        while (i < text.size() && isSpace(text[i]))
            ++i;
    } else {
        const std::size_t end = text.find(')', i);
        if (end == std::string_view::npos)
            return std::nullopt;
        value = std::string(trimmed(text.substr(i, end - i)));
        i = end;
    }
    if (i >= text.size() || text[i] != ')')
        return std::nullopt;
    return UrlToken{std::move(value), i + 1};
}

std::string quotedUrl(std::string_view address)
{
    std::string out = "url(\"";
    for (char c : address) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\")";
}

bool hasScheme(std::string_view ref)
{
    for (char c : ref) {
        if (c == ':')
            return true;
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return false;
    }
    return false;
}

std::string percentDecoded(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// A stored name's folder as the start of an address: characters that would
// end or change an address are escaped.
std::string folderAddress(std::string_view name)
{
    std::string out;
    for (char c : name.substr(0, name.rfind('/') + 1)) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= ' ' || c == '%' || c == '"' || c == '#' || c == '?' || c == '\\' || u == 0x7F) {
            static const char kHex[] = "0123456789ABCDEF";
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += c;
        }
    }
    return out;
}

class Flattener {
public:
    explicit Flattener(const SheetReader &read) : read_(read) {}

    std::string run(const std::string &name, std::string_view text)
    {
        included_.insert(foldedName(name));
        // A byte order mark names the sheet's encoding; it stays in front.
        const bool marked = text.substr(0, kByteOrderMark.size()) == kByteOrderMark;
        std::string body = sheet(name, text);
        if (!charset_.empty())
            body = charset_ + "\n" + body;
        return marked ? std::string(kByteOrderMark) + body : body;
    }

private:
    std::string sheet(const std::string &name, std::string_view text);
    std::string importRule(const std::string &name, std::string_view rule);

    const SheetReader &read_;
    std::unordered_set<std::string> included_; // folded names
    std::string charset_;                       // the first "@charset ...;" met
};

std::string Flattener::sheet(const std::string &name, std::string_view text)
{
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        text.remove_prefix(kByteOrderMark.size());
    // A sheet's @charset is exactly this, at its very start.
    if (text.substr(0, 10) == "@charset \"") {
        const std::size_t end = text.find("\";", 10);
        if (end != std::string_view::npos) {
            if (charset_.empty())
                charset_ = std::string(text.substr(0, end + 2));
            text.remove_prefix(end + 2);
        }
    }

    std::string out;
    out.reserve(text.size());
    bool beforeRules = true; // @import counts only before the first rule
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (opensCommentOrString(text, i)) {
            const std::size_t end = skipCommentOrString(text, i);
            out.append(text.substr(i, end - i));
            i = end;
            continue;
        }
        if (isSpace(c)) {
            out += c;
            ++i;
            continue;
        }
        if (beforeRules && c == '@' && startsWithNoCase(text.substr(i), "@import") && i + 7 < text.size() &&
            !std::isalnum(static_cast<unsigned char>(text[i + 7])) && text[i + 7] != '-') {
            std::size_t end = i + 7;
            int depth = 0;
            while (end < text.size() && (text[end] != ';' || depth > 0)) {
                if (opensCommentOrString(text, end)) {
                    end = skipCommentOrString(text, end);
                    continue;
                }
                depth += text[end] == '(' ? 1 : text[end] == ')' ? -1 : 0;
                ++end;
            }
            out += importRule(name, text.substr(i + 7, end - i - 7));
            i = std::min(end + 1, text.size());
            continue;
        }
        beforeRules = false;
        if ((c == 'u' || c == 'U') && startsWithNoCase(text.substr(i), "url(") &&
            (i == 0 || !(std::isalnum(static_cast<unsigned char>(text[i - 1])) || text[i - 1] == '-'))) {
            if (const auto url = readUrl(text, i)) {
                const auto address = rootRelativeAddress(name, url->value);
                out += address ? quotedUrl(*address) : std::string(text.substr(i, url->end - i));
                i = url->end;
                continue;
            }
        }
        out += c;
        ++i;
    }
    return out;
}

// rule: what follows "@import", up to its ";".
std::string Flattener::importRule(const std::string &name, std::string_view rule)
{
    const std::string_view body = trimmed(rule);
    std::string target;
    std::size_t end = 0;
    if (startsWithNoCase(body, "url(")) {
        const auto url = readUrl(body, 0);
        if (!url)
            return "@import" + std::string(rule) + ";";
        target = url->value;
        end = url->end;
    } else if (!body.empty() && (body[0] == '"' || body[0] == '\'')) {
        end = skipCommentOrString(body, 0);
        target = std::string(body.substr(1, end >= 2 ? end - 2 : 0));
    } else {
        return "@import" + std::string(rule) + ";";
    }
    const std::string media(trimmed(body.substr(end)));

    std::optional<std::string> address = rootRelativeAddress(name, target);
    if (!address && target.size() > 1 && target[0] == '/' && target[1] != '/')
        address = target;
    const auto kept = [&] { return "@import " + quotedUrl(address.value_or(target)) + (media.empty() ? "" : " " + media) + ";"; };
    // Layers and support conditions have no plain wrapping; such imports stay.
    if (!address || startsWithNoCase(media, "layer") || startsWithNoCase(media, "supports("))
        return kept();

    // The downloader saves "b.css?v=2" as "b.css@v=2".
    const std::size_t queryAt = address->find('?');
    std::string stored = percentDecoded(address->substr(0, address->find_first_of("?#")));
    std::optional<std::string> imported;
    if (queryAt != std::string::npos) {
        const std::string saved = stored + "@" + percentDecoded(address->substr(queryAt + 1, address->find('#') - queryAt - 1));
        if (!included_.count(foldedName(saved)) && (imported = read_(saved)))
            stored = saved;
    }
    if (included_.count(foldedName(stored)))
        return {};
    if (!imported)
        imported = read_(stored);
    if (!imported)
        return kept();
    included_.insert(foldedName(stored));
    const std::string text = sheet(stored, *imported);
    if (media.empty() || (media.size() == 3 && startsWithNoCase(media, "all")))
        return text + "\n";
    return "@media " + media + " {\n" + text + "\n}\n";
}

} // namespace

std::optional<std::string> rootRelativeAddress(const std::string &name, std::string_view ref)
{
    ref = trimmed(ref);
    if (ref.empty() || ref[0] == '/' || ref[0] == '#' || ref[0] == '?' || hasScheme(ref) ||
        ref.find('\\') != std::string_view::npos)
        return std::nullopt;
    const std::size_t suffixAt = std::min(ref.find_first_of("?#"), ref.size());
    const std::string joined = folderAddress(name) + std::string(ref.substr(0, suffixAt));

    const std::optional<std::string> path = resolvedPath(joined);
    if (!path)
        return std::nullopt;
    return *path + std::string(ref.substr(suffixAt));
}

std::string flattenStyleSheet(const std::string &name, std::string_view text, const SheetReader &read)
{
    return Flattener(read).run(name, text);
}

} // namespace quorlix::chm
