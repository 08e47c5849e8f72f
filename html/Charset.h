#pragma once

// What a page's bytes are written in, and turning them into UTF-8 (the only
// encoding gumbo reads).

#include <string>
#include <string_view>

namespace quorlix::html {

// The charset named by a <meta charset> or <meta http-equiv="Content-Type"
// content="...; charset=..."> near the start of the page, found by a scan of
// its first bytes as browsers do before they parse, else by an XML
// declaration at its start; lower case, "" when none.
std::string declaredCharset(std::string_view bytes);

// The page's text as UTF-8. A byte order mark wins; then the declared
// charset; with none (or one the system does not know) the bytes are taken
// as UTF-8 when they are valid UTF-8 and as Windows-1252 when they are not.
// Bytes that are invalid in the charset become U+FFFD. readAsWindows1252,
// when given, tells whether the bytes were read as Windows-1252 (declared so,
// as Latin-1 or ASCII, or not valid UTF-8).
std::string decodeToUtf8(std::string_view bytes, std::string_view declared, bool *readAsWindows1252 = nullptr);

bool isValidUtf8(std::string_view bytes);

// Whether decodeToUtf8(bytes, declaredCharset(bytes)) gives the bytes as
// they are: UTF-8 declared or not, no byte order mark.
bool readsAsUtf8AsIs(std::string_view bytes);

} // namespace quorlix::html
