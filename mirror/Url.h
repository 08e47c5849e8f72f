#pragma once

// An http or https address as the downloader keeps it: host in lower case,
// default port left out, path with "." and ".." resolved, unsafe bytes
// percent-encoded, fragment dropped. Two addresses that fetch the same thing
// compare equal as strings.

#include <optional>
#include <string>
#include <string_view>

namespace quorlix::mirror {

struct Url {
    std::string scheme; // "http" or "https"
    std::string host;   // lower case
    int port = 0;
    std::string path;   // without the leading '/', still percent-encoded
    std::optional<std::string> query;

    // Parses an absolute address; nothing for another scheme or a broken one.
    static std::optional<Url> parse(std::string_view text);
    // The link as written in a page (entities already decoded), resolved
    // against base; nothing when it names no http(s) address.
    static std::optional<Url> resolve(const Url &base, std::string_view link);

    int defaultPort() const { return scheme == "https" ? 443 : 80; }
    std::string hostAndPort() const;
    std::string text() const;
    // The folder part of the path ("a/b" for "a/b/c.html", "" at the root).
    std::string folder() const;
    // The last path element ("c.html"; "" for a folder address).
    std::string fileName() const;
};

// Percent-encodes the bytes an address may not hold as they are (spaces,
// controls, non-ASCII, quotes, a '%' that starts no escape).
std::string encodeUnsafe(std::string_view text);
// Decodes every %XX escape.
std::string percentDecode(std::string_view text);

} // namespace quorlix::mirror
