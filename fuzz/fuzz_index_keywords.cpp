// The index file's fast reading on any text: wherever it answers, its
// keywords are those the HTML parser reads, in the same order, with the same
// nesting and places.

#include "chm/system/IndexKeywords.h"
#include "chm/system/PlainIndexKeywords.h"
#include "fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const auto plain = quorlix::chm::readPlainIndexKeywords(text);
    if (!plain)
        return 0;
    const auto parsed = quorlix::chm::parsedIndexKeywords(text);
    FUZZ_CHECK(plain->size() == parsed.size());
    for (std::size_t i = 0; i < parsed.size(); ++i) {
        FUZZ_CHECK((*plain)[i].text == parsed[i].text);
        FUZZ_CHECK((*plain)[i].depth == parsed[i].depth);
        FUZZ_CHECK((*plain)[i].lastLevelAt == parsed[i].lastLevelAt);
        FUZZ_CHECK((*plain)[i].places == parsed[i].places);
    }
    return 0;
}
