// How names are ordered and matched in a help file's directory. Readers
// look names up case-insensitively (ASCII letters) and walk the listing in
// that order, comparing bytes as unsigned; UTF-8 byte order is code point
// order, so non-ASCII names sort the same way for every reader.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorlix::chm {

inline unsigned char foldedByte(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

// Negative, zero or positive as a comes before, matches or comes after b.
inline int compareDirectoryNames(std::string_view a, std::string_view b)
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const int diff = int(foldedByte(a[i])) - int(foldedByte(b[i]));
        if (diff != 0)
            return diff;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

inline std::string foldedName(std::string_view name)
{
    std::string folded(name);
    for (char &c : folded)
        c = static_cast<char>(foldedByte(c));
    return folded;
}

// path ("a/./b/../c", "/" separators) as a name from the help file's root:
// "/a/c"; "." and ".." resolved, empty parts dropped, and a path that ends
// in a folder ("a/", "a/.") ending in "/". Nothing when ".." climbs above
// the root.
inline std::optional<std::string> resolvedPath(std::string_view path)
{
    std::vector<std::string_view> parts;
    bool folder = false;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        const std::string_view part = path.substr(start, slash - start);
        folder = part.empty() || part == "." || part == "..";
        if (part == "..") {
            if (parts.empty())
                return std::nullopt;
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = slash + 1;
    }
    std::string name;
    for (const std::string_view part : parts) {
        name += '/';
        name += part;
    }
    if (folder || name.empty())
        name += '/';
    return name;
}

} // namespace quorlix::chm
