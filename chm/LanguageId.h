#pragma once

// Windows language identifiers (LCIDs) as a help file names its language,
// and what follows from one: the code page its strings are written in.

#include <cstdint>
#include <string>

namespace quorlix::chm {

inline constexpr std::uint32_t kDefaultLanguageId = 0x0409; // English (United States)

// The LCID in a project's "Language=" value, such as "0x409 English (United
// States)": the hex number before the name. A value whose language readers
// do not know (no number, no such primary language, or the neutral
// sublanguage, as in "0x089") gives 0x0409; readers would otherwise fall back
// to guessing each a different encoding.
std::uint32_t languageIdFromProject(const std::string &value);

// The Windows ANSI code page of the language (1252 for western languages);
// 0 when the language has none (strings then stay UTF-8).
unsigned codePageOf(std::uint32_t languageId);

// True for languages whose code page uses two bytes per character
// (Chinese, Japanese, Korean).
bool usesDoubleByteCharacters(std::uint32_t languageId);

} // namespace quorlix::chm
