#include "chm/search/WordSplitter.h"

#include "html/Utf8Append.h"

#include <cstdint>

namespace quorlix::chm {

namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;

// The code point at text[offset], advancing offset; kInvalid for a malformed
// sequence (one byte is consumed then).
char32_t decode(std::string_view text, std::size_t &offset)
{
    const auto lead = static_cast<unsigned char>(text[offset++]);
    if (lead < 0x80)
        return lead;
    int extra = 0;
    char32_t cp = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        cp = lead & 0x07;
    } else {
        return kInvalid;
    }
    if (offset + extra > text.size())
        return kInvalid;
    for (int i = 0; i < extra; ++i) {
        const auto byte = static_cast<unsigned char>(text[offset + i]);
        if ((byte & 0xC0) != 0x80)
            return kInvalid;
        cp = (cp << 6) | (byte & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not characters.
    static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[extra] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        return kInvalid;
    offset += extra;
    return cp;
}

// Whether a character outside ASCII belongs to a word: everything except the
// blocks of spaces, punctuation and symbols.
bool isWordCharacterBeyondAscii(char32_t cp)
{
    if (cp < 0xC0) // Latin-1 punctuation and signs, but for the letter-like ones
        return cp == 0xAA || cp == 0xB5 || cp == 0xBA;
    if (cp == 0xD7 || cp == 0xF7) // multiplication and division signs
        return false;
    struct Range { char32_t first, last; };
    static constexpr Range kSeparators[] = {
        {0x2000, 0x2BFF}, // general punctuation, super/subscripts, currency, arrows, maths, boxes, shapes, dingbats
        {0x2E00, 0x2E7F}, // supplemental punctuation
        {0x3000, 0x303F}, // CJK spaces and punctuation
        {0xE000, 0xF8FF}, // private use
        {0xFE10, 0xFE1F}, // vertical forms
        {0xFE30, 0xFE6F}, // CJK compatibility forms, small forms
        {0xFEFF, 0xFEFF}, // byte order mark
        {0xFF00, 0xFF0F}, // full-width punctuation
        {0xFF1A, 0xFF20},
        {0xFF3B, 0xFF40},
        {0xFF5B, 0xFF65},
        {0xFFF0, 0xFFFF}, // specials
        {0x1F000, 0x1FAFF}, // emoji and pictographs
    };
    for (const auto &range : kSeparators) {
        if (cp < range.first)
            return true;
        if (cp <= range.last)
            return false;
    }
    return true;
}

char32_t toLower(char32_t cp)
{
    if (cp < 0x80)
        return (cp >= 'A' && cp <= 'Z') ? cp + 0x20 : cp;
    if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7)
        return cp + 0x20;
    if (cp >= 0x100 && cp <= 0x17F) { // Latin Extended-A: capitals paired with the next code
        if (cp == 0x130 || cp == 0x131 || cp == 0x138 || cp == 0x149 || cp == 0x17F)
            return cp;
        if (cp == 0x178)
            return 0xFF;
        const bool capitalIsOdd = (cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E);
        return ((cp & 1) == (capitalIsOdd ? 1u : 0u)) ? cp + 1 : cp;
    }
    if (cp >= 0x391 && cp <= 0x3AB && cp != 0x3A2) // Greek capitals
        return cp + 0x20;
    if (cp == 0x386)
        return 0x3AC;
    if (cp >= 0x388 && cp <= 0x38A)
        return cp + 0x25;
    if (cp == 0x38C)
        return 0x3CC;
    if (cp == 0x38E || cp == 0x38F)
        return cp + 0x3F;
    if (cp >= 0x410 && cp <= 0x42F) // Cyrillic capitals
        return cp + 0x20;
    if (cp >= 0x400 && cp <= 0x40F)
        return cp + 0x50;
    return cp;
}


// Scripts written without spaces between words: kana and ideographs.
bool isWrittenWithoutSpaces(char32_t cp)
{
    return (cp >= 0x3040 && cp <= 0x30FF) || (cp >= 0x31F0 && cp <= 0x31FF) || (cp >= 0x3400 && cp <= 0x4DBF) ||
           (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0xFF66 && cp <= 0xFF9F) ||
           (cp >= 0x20000 && cp <= 0x3FFFF);
}

bool isAsciiWordByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool isWordCharacter(char32_t cp)
{
    if (cp < 0x80)
        return (cp >= 'a' && cp <= 'z') || (cp >= 'A' && cp <= 'Z') || (cp >= '0' && cp <= '9') || cp == '_';
    return cp != kInvalid && isWordCharacterBeyondAscii(cp);
}

} // namespace

bool WordSplitter::next(std::string &word, std::size_t &position)
{
    while (offset_ < text_.size()) {
        // Skip to the start of a word.
        const std::size_t wordStart = offset_;
        char32_t cp = decode(text_, offset_);
        if (!isWordCharacter(cp))
            continue;
        word.clear();
        if (isWrittenWithoutSpaces(cp)) {
            // Each character with the one after it, or alone at the end of
            // its run: any one or two characters of a run can be looked up.
            const std::size_t second = offset_;
            if (offset_ < text_.size() && isWrittenWithoutSpaces(decode(text_, offset_)))
                word.assign(text_.substr(wordStart, offset_ - wordStart));
            else
                word.assign(text_.substr(wordStart, second - wordStart));
            offset_ = second;
            position = position_++;
            return true;
        }
        bool tooLong = false;
        constexpr std::size_t kLongest = 2 * kMaxWordBytes; // leaves room for underscores trimmed below
        for (;;) {
            if (!tooLong) {
                html::appendUtf8(word, toLower(cp));
                tooLong = word.size() > kLongest;
            }
            // A run of ASCII word characters, most of any text, is taken in
            // one go, a byte at a time as the loop would.
            std::size_t run = offset_;
            while (run < text_.size() && isAsciiWordByte(text_[run]))
                ++run;
            for (; offset_ < run && !tooLong; ++offset_) {
                const char c = text_[offset_];
                word.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : c);
                tooLong = word.size() > kLongest;
            }
            offset_ = run;
            const std::size_t start = offset_;
            if (offset_ >= text_.size())
                break;
            cp = decode(text_, offset_);
            if (!isWordCharacter(cp) || isWrittenWithoutSpaces(cp)) {
                offset_ = start; // the separator is looked at again by the skip above
                break;
            }
        }
        const auto first = word.find_first_not_of('_');
        if (first == std::string::npos)
            continue; // underscores only: not a word
        word.erase(word.find_last_not_of('_') + 1);
        word.erase(0, first);
        if (tooLong || word.size() > kMaxWordBytes) {
            ++position_;
            continue;
        }
        position = position_++;
        return true;
    }
    return false;
}

} // namespace quorlix::chm
