#include "chm/language/LanguageId.h"

#include <array>
#include <cctype>
#include <cstdlib>
#include <utility>

namespace quorlix::chm {

namespace {

// Primary language (the low ten bits of an LCID) to its ANSI code page, for
// the languages help viewers map to an encoding.
constexpr std::array<std::pair<std::uint16_t, std::uint16_t>, 60> kCodePages{{
    {0x01, 1256}, // Arabic
    {0x02, 1251}, // Bulgarian
    {0x03, 1252}, // Catalan
    {0x04, 936},  // Chinese (950 for the traditional sublanguages, below)
    {0x05, 1250}, // Czech
    {0x06, 1252}, // Danish
    {0x07, 1252}, // German
    {0x08, 1253}, // Greek
    {0x09, 1252}, // English
    {0x0a, 1252}, // Spanish
    {0x0b, 1252}, // Finnish
    {0x0c, 1252}, // French
    {0x0d, 1255}, // Hebrew
    {0x0e, 1250}, // Hungarian
    {0x0f, 1252}, // Icelandic
    {0x10, 1252}, // Italian
    {0x11, 932},  // Japanese
    {0x12, 949},  // Korean
    {0x13, 1252}, // Dutch
    {0x14, 1252}, // Norwegian
    {0x15, 1250}, // Polish
    {0x16, 1252}, // Portuguese
    {0x18, 1250}, // Romanian
    {0x19, 1251}, // Russian
    {0x1a, 1250}, // Croatian, Serbian (Latin; Cyrillic below)
    {0x1b, 1250}, // Slovak
    {0x1c, 1250}, // Albanian
    {0x1d, 1252}, // Swedish
    {0x1e, 874},  // Thai
    {0x1f, 1254}, // Turkish
    {0x20, 1256}, // Urdu
    {0x21, 1252}, // Indonesian
    {0x22, 1251}, // Ukrainian
    {0x23, 1251}, // Belarusian
    {0x24, 1250}, // Slovenian
    {0x25, 1257}, // Estonian
    {0x26, 1257}, // Latvian
    {0x27, 1257}, // Lithuanian
    {0x29, 1256}, // Farsi
    {0x2a, 1258}, // Vietnamese
    {0x2b, 0},    // Armenian (Unicode only)
    {0x2c, 1254}, // Azeri (Latin; Cyrillic below)
    {0x2d, 1252}, // Basque
    {0x2f, 1251}, // Macedonian
    {0x36, 1252}, // Afrikaans
    {0x37, 0},    // Georgian (Unicode only)
    {0x38, 1252}, // Faeroese
    {0x39, 0},    // Hindi (Unicode only)
    {0x3e, 1252}, // Malay
    {0x3f, 1251}, // Kazakh
    {0x40, 1251}, // Kyrgyz
    {0x41, 1252}, // Swahili
    {0x43, 1254}, // Uzbek (Latin; Cyrillic below)
    {0x44, 1251}, // Tatar
    {0x49, 0},    // Tamil (Unicode only)
    {0x50, 1251}, // Mongolian
    {0x56, 1252}, // Galician
    {0x57, 0},    // Konkani (Unicode only)
    {0x4e, 0},    // Marathi (Unicode only)
    {0x4f, 0},    // Sanskrit (Unicode only)
}};

const std::pair<std::uint16_t, std::uint16_t> *findPrimary(std::uint32_t languageId)
{
    const std::uint32_t primary = languageId & 0x3ff;
    for (const auto &entry : kCodePages)
        if (entry.first == primary)
            return &entry;
    return nullptr;
}

} // namespace

std::uint32_t languageIdFromProject(const std::string &value)
{
    std::size_t at = 0;
    while (at < value.size() && std::isspace(static_cast<unsigned char>(value[at])))
        ++at;
    const char *begin = value.c_str() + at;
    char *end = nullptr;
    const unsigned long parsed = std::strtoul(begin, &end, 16); // takes an optional 0x
    const bool wholeWord = *end == '\0' || std::isspace(static_cast<unsigned char>(*end));
    if (end == begin || !wholeWord || parsed == 0 || parsed > 0xffff)
        return kDefaultLanguageId;
    return static_cast<std::uint32_t>(parsed);
}

unsigned codePageOf(std::uint32_t languageId)
{
    switch (languageId) {
    case 0x0404: case 0x0c04: case 0x1404: return 950; // Chinese, traditional
    case 0x0c1a: case 0x1c1a: return 1251;              // Serbian, Cyrillic
    case 0x082c: case 0x0843: return 1251;              // Azeri and Uzbek, Cyrillic
    default: break;
    }
    // A language viewers do not know (no such primary language, or the
    // neutral sublanguage, as in "0x089") makes them read the file as UTF-8.
    const auto *entry = (languageId >> 10) == 0 ? nullptr : findPrimary(languageId);
    return entry ? entry->second : 0;
}

bool usesDoubleByteCharacters(std::uint32_t languageId)
{
    const unsigned codePage = codePageOf(languageId);
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

} // namespace quorlix::chm
