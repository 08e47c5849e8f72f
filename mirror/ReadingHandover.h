#pragma once

// Hands each converted page's reading to the window (QUORLIX_PAGE_READINGS
// names the folder): made from the parse that found the page's links and
// finished with the links as the conversion wrote them, so the window need
// not parse the page again. Each is written whole under a name of its own
// (html/PageRecord.h) before the page is listed as final, and stamped with
// the page's file as it now stands: a reading the window finds for other
// bytes is passed over.

#include "mirror/LinkConversion.h"

#include <string>
#include <string_view>

namespace quorlix::mirror {

struct Document;

class ReadingHandover {
public:
    // An empty folder: nothing is handed on.
    explicit ReadingHandover(std::string folder) : mFolder(std::move(folder)) {}

    // The page in file now holds bytes, converted so (hrefs); what the
    // window gets is its reading, or none when it cannot be told.
    void hand(const Document &document, std::string_view bytes, const ConvertedHrefs &hrefs) const;

private:
    std::string mFolder;
};

} // namespace quorlix::mirror
