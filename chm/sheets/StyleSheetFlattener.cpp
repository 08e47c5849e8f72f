#include "chm/sheets/StyleSheetFlattener.h"

#include "chm/container/DirectoryName.h"
#include "html/AsciiText.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>
#include <unordered_set>
#include <variant>
#include <vector>

namespace quorlix::chm {

bool isStyleSheetName(std::string_view name)
{
    const std::string file = foldedName(name.substr(name.rfind('/') + 1));
    const std::size_t css = file.rfind(".css");
    return css != std::string::npos && css > 0 && (css + 4 == file.size() || file[css + 4] == '@');
}

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
    while (i < text.size() && html::isAsciiSpace(text[i]))
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
        while (i < text.size() && html::isAsciiSpace(text[i]))
            ++i;
    } else {
        const std::size_t end = text.find(')', i);
        if (end == std::string_view::npos)
            return std::nullopt;
        value = std::string(html::trimmed(text.substr(i, end - i)));
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

} // namespace

// Named, not file-local: the flattener's state holds them.
namespace flattening {

// An @import that may be replaced by the imported sheet's text.
struct Import {
    std::string kept;           // the rule as stored when it is not replaced
    std::string stored;         // the imported sheet's stored name
    std::string savedWithQuery; // "/s/b.css@v=2" for "b.css?v=2", as the downloader saves it; "" without
    std::string media;          // "" or "all" for none
};

// A sheet's own text with its addresses rebased, cut at each @import that
// may be replaced; the same in every sheet that imports it.
struct ParsedSheet {
    std::string charset;            // its "@charset ...;", "" when none
    std::vector<std::string> texts; // one more than imports: the text before, between and after them
    std::vector<Import> imports;
    std::uint64_t textBytes = 0; // of texts together
    bool tooLarge = false;       // its text passed the limit it was parsed with
};

} // namespace flattening

namespace {

using flattening::Import;
using flattening::ParsedSheet;

// Reading a sheet, parsed sheets are kept for the sheets that import them;
// each inclusion also counts this much beside its text, so that a chain of
// nearly empty sheets is bounded too.
constexpr std::uint64_t kInclusionCost = 64;

// rule: what follows "@import", up to its ";". Either an Import, or the text
// the rule is stored as.
std::variant<Import, std::string> parseImportRule(const std::string &name, std::string_view rule)
{
    const std::string_view body = html::trimmed(rule);
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
    Import import;
    import.media = std::string(html::trimmed(body.substr(end)));

    std::optional<std::string> address = rootRelativeAddress(name, target);
    if (!address && target.size() > 1 && target[0] == '/' && target[1] != '/')
        address = target;
    import.kept = "@import " + quotedUrl(address.value_or(target)) + (import.media.empty() ? "" : " " + import.media)
                  + ";";
    // Layers and support conditions have no plain wrapping; such imports stay.
    if (!address || startsWithNoCase(import.media, "layer") || startsWithNoCase(import.media, "supports("))
        return std::move(import.kept);

    const std::size_t queryAt = address->find('?');
    import.stored = percentDecoded(address->substr(0, address->find_first_of("?#")));
    if (queryAt != std::string::npos)
        import.savedWithQuery = import.stored + "@"
                                + percentDecoded(address->substr(queryAt + 1, address->find('#') - queryAt - 1));
    return import;
}

// name's text, parsed; stops once its text passes limit bytes.
ParsedSheet parseSheet(const std::string &name, std::string_view text, std::uint64_t limit)
{
    ParsedSheet parsed;
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        text.remove_prefix(kByteOrderMark.size());
    // A sheet's @charset is exactly this, at its very start.
    if (text.substr(0, 10) == "@charset \"") {
        const std::size_t end = text.find("\";", 10);
        if (end != std::string_view::npos) {
            parsed.charset = std::string(text.substr(0, end + 2));
            text.remove_prefix(end + 2);
        }
    }

    std::string out;
    out.reserve(std::min<std::uint64_t>(text.size(), limit));
    const auto full = [&] { return parsed.textBytes + out.size() > limit; };
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
        if (html::isAsciiSpace(c)) {
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
            auto rule = parseImportRule(name, text.substr(i + 7, end - i - 7));
            if (auto *import = std::get_if<Import>(&rule)) {
                parsed.textBytes += out.size();
                parsed.texts.push_back(std::move(out));
                out.clear();
                parsed.imports.push_back(std::move(*import));
            } else {
                out += std::get<std::string>(rule);
            }
            i = std::min(end + 1, text.size());
            if (full())
                break;
            continue;
        }
        beforeRules = false;
        if ((c == 'u' || c == 'U') && startsWithNoCase(text.substr(i), "url(") &&
            (i == 0 || !(std::isalnum(static_cast<unsigned char>(text[i - 1])) || text[i - 1] == '-'))) {
            if (const auto url = readUrl(text, i)) {
                const auto address = rootRelativeAddress(name, url->value);
                out += address ? quotedUrl(*address) : std::string(text.substr(i, url->end - i));
                i = url->end;
                if (full())
                    break;
                continue;
            }
        }
        out += c;
        ++i;
    }
    parsed.textBytes += out.size();
    parsed.texts.push_back(std::move(out));
    parsed.tooLarge = parsed.textBytes > limit;
    return parsed;
}

bool isAllMedia(std::string_view media)
{
    return media.empty() || (media.size() == 3 && startsWithNoCase(media, "all"));
}

} // namespace

struct StyleSheetFlattener::State {
    SheetReader read;
    std::uint64_t left = 0; // of the budget
    std::uint64_t sheetsCut = 0;
    // Imported sheets by stored name; nothing for a name that is no sheet.
    std::unordered_map<std::string, std::optional<ParsedSheet>> parsed;
    // The sheet being flattened:
    std::unordered_set<std::string> included; // folded names
    std::string charset;                      // the first "@charset ...;" met
    bool cut = false;

    void spend(std::uint64_t bytes) { left -= std::min(left, bytes); }
    const ParsedSheet *imported(const std::string &name);
    void append(const ParsedSheet &sheet, std::string &out, int depth);
    void appendImport(const Import &import, std::string &out, int depth);
};

// The sheet stored under name, read and parsed the first time it is asked
// for; what that holds counts against the budget.
const ParsedSheet *StyleSheetFlattener::State::imported(const std::string &name)
{
    auto found = parsed.find(name);
    if (found == parsed.end()) {
        std::optional<ParsedSheet> sheet;
        if (std::optional<std::string> text = read(name)) {
            sheet = parseSheet(name, *text, left);
            spend(std::max<std::uint64_t>(text->size(), sheet->textBytes));
            if (sheet->tooLarge) { // spent or not, it is not parsed again
                *sheet = ParsedSheet();
                sheet->tooLarge = true;
            }
        }
        found = parsed.emplace(name, std::move(sheet)).first;
    }
    return found->second ? &*found->second : nullptr;
}

void StyleSheetFlattener::State::append(const ParsedSheet &sheet, std::string &out, int depth)
{
    if (charset.empty())
        charset = sheet.charset;
    for (std::size_t i = 0; i < sheet.imports.size(); ++i) {
        out += sheet.texts[i];
        appendImport(sheet.imports[i], out, depth);
    }
    out += sheet.texts.back();
}

void StyleSheetFlattener::State::appendImport(const Import &import, std::string &out, int depth)
{
    const bool spent = left < kInclusionCost || depth >= StyleSheetFlattener::kDeepestImport;
    std::string stored = import.stored;
    const ParsedSheet *sheet = nullptr;
    if (!import.savedWithQuery.empty() && !spent && !included.count(foldedName(import.savedWithQuery))
        && (sheet = imported(import.savedWithQuery)))
        stored = import.savedWithQuery;
    if (included.count(foldedName(stored)))
        return;
    if (!spent && !sheet)
        sheet = imported(stored);
    const bool wrapped = !isAllMedia(import.media);
    const std::uint64_t cost = !sheet ? 0
                                      : sheet->textBytes + (wrapped ? import.media.size() + 12 : 1)
                                            + kInclusionCost * (1 + sheet->imports.size());
    if (spent || (sheet && (sheet->tooLarge || cost > left))) {
        out += import.kept;
        cut = true;
        return;
    }
    if (!sheet) {
        out += import.kept;
        return;
    }
    spend(cost);
    included.insert(foldedName(stored));
    if (wrapped)
        out += "@media " + import.media + " {\n";
    append(*sheet, out, depth + 1);
    out += wrapped ? "\n}\n" : "\n";
}

std::optional<std::string> rootRelativeAddress(const std::string &name, std::string_view ref)
{
    ref = html::trimmed(ref);
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

StyleSheetFlattener::StyleSheetFlattener(SheetReader read, std::uint64_t budget) : mState(std::make_unique<State>())
{
    mState->read = std::move(read);
    mState->left = budget;
}

StyleSheetFlattener::~StyleSheetFlattener() = default;

std::uint64_t StyleSheetFlattener::sheetsCut() const
{
    return mState->sheetsCut;
}

std::string StyleSheetFlattener::flatten(const std::string &name, std::string_view text)
{
    State &state = *mState;
    // What its own addresses add comes out of the budget too: rebased from
    // a long folder name, a short url() grows a hundredfold.
    const std::uint64_t limit = state.left > UINT64_MAX - text.size() ? UINT64_MAX : text.size() + state.left;
    const ParsedSheet sheet = parseSheet(name, text, limit);
    if (sheet.tooLarge) {
        ++state.sheetsCut;
        return std::string(text);
    }
    state.spend(sheet.textBytes > text.size() ? sheet.textBytes - text.size() : 0);
    state.included = {foldedName(name)};
    state.charset.clear();
    state.cut = false;

    // A byte order mark names the sheet's encoding; it stays in front.
    const bool marked = text.substr(0, kByteOrderMark.size()) == kByteOrderMark;
    std::string body;
    body.reserve(sheet.textBytes);
    state.append(sheet, body, 0);
    state.sheetsCut += state.cut ? 1 : 0;
    if (!state.charset.empty())
        body = state.charset + "\n" + body;
    return marked ? std::string(kByteOrderMark) + body : body;
}

std::string flattenStyleSheet(const std::string &name, std::string_view text, const SheetReader &read)
{
    return StyleSheetFlattener(read, UINT64_MAX).flatten(name, text);
}

} // namespace quorlix::chm
