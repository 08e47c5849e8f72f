#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace quorlix::bench {

// The words of an option's comma-separated list ("fixture,4000"); empty
// words are left out.
inline std::vector<std::string> splitList(const std::string &list)
{
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        if (comma > start)
            words.push_back(list.substr(start, comma - start));
        start = comma + 1;
    }
    return words;
}

} // namespace quorlix::bench
