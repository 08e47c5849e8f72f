#pragma once

// Windows language identifiers (LCIDs) as a help file names its language,
// and what follows from one: the code page its strings are written in.

#include <cstdint>
#include <string>

namespace quorlix::chm {

inline constexpr std::uint32_t kDefaultLanguageId = 0x0409; // English (United States)

// The LCID in a project's "Language=" value, such as "0x409 English (United
// States)": the hex number before the name, kept as written even where no
// viewer knows the language (Quorlix's own "0x089"): kchmviewer and xchm then
// read the pages and strings as UTF-8, which nearly every current site is
// written in, whereas a known western language makes kchmviewer show every
// UTF-8 page as Windows-1252, whatever charset the page declares. No number,
// or 0 (on which kchmviewer aborts), gives 0x0409.
std::uint32_t languageIdFromProject(const std::string &value);

// The Windows ANSI code page of the language (1252 for western languages);
// 0 when the language has none or viewers do not know it (strings then stay
// UTF-8).
unsigned codePageOf(std::uint32_t languageId);

// True for languages whose code page uses two bytes per character
// (Chinese, Japanese, Korean).
bool usesDoubleByteCharacters(std::uint32_t languageId);

} // namespace quorlix::chm
