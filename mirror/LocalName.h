#pragma once

// Where an address is saved, by Windows' file-name rules, as GNU Wget names
// it with --restrict-file-names=windows: "HOST+PORT/PATH", a folder address
// as "index.html", the query after '@', and every byte Windows forbids in a
// name (and control bytes) as %XX. UTF-8 stays as it is.

#include "mirror/Url.h"

#include <optional>
#include <string>

namespace quorlix::mirror {

enum class ContentKind { Other, Html, Css };

// How an answer of this type (lower case, no parameters) is read.
ContentKind contentKindOf(const std::string &contentType);

// The name relative to the download folder, before any extension is added.
std::string localName(const Url &url);
// The name with ".html" or ".css" added when it does not already end so
// (the -E rule).
std::string withAdjustedExtension(std::string name, ContentKind kind);

// The name an address will be saved under, told before its answer comes:
// its own; with -E (adjustExtension) only when its ending already is what
// its likely type leaves as it is (".html", ".css", an image's, a script's,
// a text's), else nothing. An answer of another type proves it wrong.
std::optional<std::string> foreseenName(const Url &url, bool adjustExtension);

// The longest a single name in a path may be: the file system's 255 bytes
// less room for an added extension and a temporary suffix.
inline constexpr std::size_t kMaxNameBytes = 236;

} // namespace quorlix::mirror
