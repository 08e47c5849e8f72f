#include "html/Charset.h"

#include "html/AsciiText.h"
#include "html/Utf8Append.h"

#include <iconv.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace quorlix::html {

namespace {

// Browsers give up looking for a declaration after the first kilobyte;
// pages with long comments or scripts in front of it are common enough to
// look a little further.
constexpr std::size_t kPrescanLength = 4096;

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

std::string lowerTrimmed(std::string_view text)
{
    return lower(trimmed(text));
}

bool startsWithNoCase(std::string_view text, std::size_t at, std::string_view word)
{
    if (at > text.size() || text.size() - at < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (asciiLower(text[at + i]) != word[i])
            return false;
    return true;
}

// Reads one attribute of a tag at pos (which it moves past it). Gives false
// at the tag's end.
bool nextAttribute(std::string_view s, std::size_t &pos, std::string &name, std::string &value)
{
    while (pos < s.size() && (isAsciiSpace(s[pos]) || s[pos] == '/'))
        ++pos;
    if (pos >= s.size() || s[pos] == '>')
        return false;
    name.clear();
    value.clear();
    while (pos < s.size() && !isAsciiSpace(s[pos]) && s[pos] != '/' && s[pos] != '>' && (s[pos] != '=' || name.empty()))
        name += asciiLower(s[pos++]);
    while (pos < s.size() && isAsciiSpace(s[pos]))
        ++pos;
    if (pos >= s.size() || s[pos] != '=')
        return true;
    ++pos;
    while (pos < s.size() && isAsciiSpace(s[pos]))
        ++pos;
    if (pos < s.size() && (s[pos] == '"' || s[pos] == '\'')) {
        const char quote = s[pos++];
        while (pos < s.size() && s[pos] != quote)
            value += s[pos++];
        if (pos < s.size())
            ++pos;
    } else {
        while (pos < s.size() && !isAsciiSpace(s[pos]) && s[pos] != '>')
            value += s[pos++];
    }
    return true;
}

// "text/html; charset=utf-8" gives "utf-8".
std::string charsetInContent(std::string_view content)
{
    for (std::size_t at = 0; at < content.size(); ++at) {
        if (!startsWithNoCase(content, at, "charset"))
            continue;
        std::size_t pos = at + 7;
        while (pos < content.size() && isAsciiSpace(content[pos]))
            ++pos;
        if (pos >= content.size() || content[pos] != '=')
            continue;
        ++pos;
        while (pos < content.size() && isAsciiSpace(content[pos]))
            ++pos;
        std::size_t end = pos;
        if (pos < content.size() && (content[pos] == '"' || content[pos] == '\'')) {
            end = content.find(content[pos], pos + 1);
            if (end == std::string_view::npos)
                return {};
            ++pos;
        } else {
            while (end < content.size() && !isAsciiSpace(content[end]) && content[end] != ';')
                ++end;
        }
        return lowerTrimmed(content.substr(pos, end - pos));
    }
    return {};
}

// The charset declared by the <meta> tag whose attributes begin at pos.
std::string metaCharset(std::string_view s, std::size_t &pos)
{
    std::string name, value, charset, content;
    bool contentType = false;
    while (nextAttribute(s, pos, name, value)) {
        if (name == "charset" && charset.empty())
            charset = lowerTrimmed(value);
        else if (name == "http-equiv")
            contentType = lowerTrimmed(value) == "content-type";
        else if (name == "content" && content.empty())
            content = value;
    }
    if (!charset.empty())
        return charset;
    return contentType ? charsetInContent(content) : std::string();
}

// An XHTML page may name its charset only in its XML declaration
// (<?xml version="1.0" encoding="ISO-8859-1"?>).
std::string xmlDeclaredCharset(std::string_view s)
{
    const std::size_t start = s.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    if (s.compare(start, 5, "<?xml") != 0)
        return {};
    const std::size_t end = s.find("?>", start);
    if (end == std::string_view::npos)
        return {};
    const std::string_view declaration = s.substr(start + 5, end - start - 5);
    std::size_t pos = 0;
    std::string name, value;
    while (nextAttribute(declaration, pos, name, value))
        if (name == "encoding")
            return lowerTrimmed(value);
    return {};
}

enum class Encoding { Utf8, Windows1252, Other };

// The labels that mean UTF-8 or Windows-1252; in HTML the Latin-1 and
// ASCII labels mean Windows-1252, and a UTF-16 label in the page itself
// cannot be true (the page was read as ASCII to find it).
Encoding encodingOf(std::string_view label)
{
    static constexpr std::array<std::string_view, 6> utf8{"utf-8", "utf8", "unicode-1-1-utf-8", "utf-16",
                                                          "utf-16le", "utf-16be"};
    static constexpr std::array<std::string_view, 14> windows1252{
        "windows-1252", "cp1252", "x-cp1252", "iso-8859-1", "iso8859-1", "iso_8859-1", "iso88591", "latin1",
        "l1", "ascii", "us-ascii", "ansi_x3.4-1968", "cp819", "ibm819"};
    for (std::string_view name : utf8)
        if (label == name)
            return Encoding::Utf8;
    for (std::string_view name : windows1252)
        if (label == name)
            return Encoding::Windows1252;
    return Encoding::Other;
}

// Labels whose usual meaning on the web is a larger charset than iconv's
// charset of that name.
std::string iconvName(std::string_view label)
{
    if (label == "gb2312" || label == "x-gbk" || label == "chinese")
        return "GBK";
    if (label == "shift_jis" || label == "sjis" || label == "ms_kanji" || label == "x-sjis")
        return "CP932";
    if (label == "euc-kr" || label == "ks_c_5601-1987")
        return "CP949";
    if (label == "iso-8859-9" || label == "latin5")
        return "WINDOWS-1254";
    if (label == "tis-620" || label == "iso-8859-11")
        return "WINDOWS-874";
    return std::string(label);
}


std::string fromWindows1252(std::string_view bytes)
{
    // 0x80-0x9F; the five bytes the code page leaves free stand for the
    // control characters of the same number.
    static constexpr std::array<std::uint16_t, 32> high{
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        appendUtf8(out, c >= 0x80 && c < 0xA0 ? high[c - 0x80] : c);
    }
    return out;
}

// Converts with iconv; every byte it cannot read becomes one U+FFFD.
// Gives false when iconv does not know the charset.
bool convertWithIconv(std::string_view bytes, const std::string &charset, std::string &out)
{
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    out.clear();
    std::string buffer(bytes.size() * 2 + 16, '\0');
    char *in = const_cast<char *>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char *to = buffer.data();
        std::size_t toLeft = buffer.size();
        const std::size_t result = iconv(cd, &in, &inLeft, &to, &toLeft);
        out.append(buffer.data(), buffer.size() - toLeft);
        if (result != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG)
            continue;
        // EILSEQ or EINVAL (cut off at the end): skip one byte and start afresh.
        out += kReplacement;
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    char *to = buffer.data();
    std::size_t toLeft = buffer.size();
    iconv(cd, nullptr, nullptr, &to, &toLeft);
    out.append(buffer.data(), buffer.size() - toLeft);
    iconv_close(cd);
    return true;
}

} // namespace

std::string declaredCharset(std::string_view bytes)
{
    const std::string_view s = bytes.substr(0, kPrescanLength);
    std::size_t pos = 0;
    std::string name, value;
    while (pos < s.size()) {
        if (s[pos] != '<') {
            ++pos;
            continue;
        }
        if (s.compare(pos, 4, "<!--") == 0) {
            const std::size_t end = s.find("-->", pos + 2);
            pos = end == std::string_view::npos ? s.size() : end + 3;
        } else if (startsWithNoCase(s, pos, "<meta") && pos + 5 < s.size()
                   && (isAsciiSpace(s[pos + 5]) || s[pos + 5] == '/')) {
            pos += 5;
            std::string charset = metaCharset(s, pos);
            if (!charset.empty())
                return charset;
        } else if (pos + 1 < s.size()
                   && (std::isalpha(static_cast<unsigned char>(s[pos + 1]))
                       || (s[pos + 1] == '/' && pos + 2 < s.size()
                           && std::isalpha(static_cast<unsigned char>(s[pos + 2]))))) {
            // Any other tag: step over its attributes, whose values may hold ">".
            while (pos < s.size() && !isAsciiSpace(s[pos]) && s[pos] != '>')
                ++pos;
            while (nextAttribute(s, pos, name, value)) {
            }
        } else if (pos + 1 < s.size() && (s[pos + 1] == '!' || s[pos + 1] == '/' || s[pos + 1] == '?')) {
            const std::size_t end = s.find('>', pos);
            pos = end == std::string_view::npos ? s.size() : end + 1;
        } else {
            ++pos;
        }
    }
    return xmlDeclaredCharset(s);
}

bool isValidUtf8(std::string_view bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *end = p + bytes.size();
    while (p < end) {
        // Pages, indexes and texts are mostly ASCII: eight bytes at a time.
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            if (word & 0x8080808080808080u)
                break;
            p += 8;
        }
        if (p == end)
            break;
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int length;
        std::uint32_t min;
        std::uint32_t code;
        if ((c & 0xE0) == 0xC0) {
            length = 2, min = 0x80, code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3, min = 0x800, code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4, min = 0x10000, code = c & 0x07;
        } else {
            return false;
        }
        if (end - p < length)
            return false;
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (p[i] & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        p += length;
    }
    return true;
}

namespace {

// decodeToUtf8, telling whether the bytes were read as Windows-1252.
std::string decode(std::string_view bytes, std::string_view declared, bool &windows1252)
{
    std::string out;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        return decode(bytes.substr(3), "utf-8", windows1252);
    if (bytes.substr(0, 2) == "\xFF\xFE" && convertWithIconv(bytes.substr(2), "UTF-16LE", out))
        return out;
    if (bytes.substr(0, 2) == "\xFE\xFF" && convertWithIconv(bytes.substr(2), "UTF-16BE", out))
        return out;

    const std::string label = lowerTrimmed(declared);
    switch (encodingOf(label)) {
    case Encoding::Windows1252:
        windows1252 = true;
        return fromWindows1252(bytes);
    case Encoding::Other:
        if (!label.empty() && convertWithIconv(bytes, iconvName(label), out))
            return out;
        [[fallthrough]];
    case Encoding::Utf8:
        break;
    }
    if (isValidUtf8(bytes))
        return std::string(bytes);
    windows1252 = true;
    return fromWindows1252(bytes);
}

} // namespace

bool readsAsUtf8AsIs(std::string_view bytes)
{
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF" || bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF")
        return false;
    const std::string label = lowerTrimmed(declaredCharset(bytes));
    return (label.empty() || encodingOf(label) == Encoding::Utf8) && isValidUtf8(bytes);
}

std::string decodeToUtf8(std::string_view bytes, std::string_view declared, bool *readAsWindows1252)
{
    bool windows1252 = false;
    std::string out = decode(bytes, declared, windows1252);
    if (readAsWindows1252)
        *readAsWindows1252 = windows1252;
    return out;
}

} // namespace quorlix::html
