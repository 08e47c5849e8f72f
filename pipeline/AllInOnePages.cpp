#include "pipeline/AllInOnePages.h"

#include <QByteArrayView>
#include <QHash>

#include <cstdint>
#include <limits>

namespace quorlix::pipeline {

namespace {

// A page repeats "several" pages from this many.
constexpr std::uint32_t kFewestPagesRepeated = 3;

constexpr std::uint32_t kNoPage = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint32_t kManyPages = kNoPage - 1;

// The pages a heading is found on: the first two, or many. By the hash of
// its text: a large site has a million headings.
struct Holders {
    std::uint32_t first = kNoPage;
    std::uint32_t second = kNoPage;
};

std::size_t hashOf(const html::Heading &heading)
{
    return qHash(QByteArrayView(heading.text().data(), static_cast<qsizetype>(heading.text().size())));
}

} // namespace

std::vector<bool> AllInOnePages(const QStringList &files, const SavedPages &pages)
{
    std::vector<bool> allInOne(static_cast<std::size_t>(files.size()), false);
    std::vector<const html::Page *> read(allInOne.size(), nullptr);
    for (qsizetype i = 0; i < files.size(); ++i)
        if (const auto page = pages.constFind(files[i]); page != pages.cend())
            read[static_cast<std::size_t>(i)] = &*page;
    if (read.size() <= kFewestPagesRepeated)
        return allInOne;

    QHash<std::size_t, Holders> holders;
    for (std::uint32_t i = 0; i < read.size(); ++i) {
        if (!read[i])
            continue;
        for (const html::Heading &heading : read[i]->headings) {
            Holders &found = holders[hashOf(heading)];
            if (found.first == kNoPage)
                found.first = i;
            else if (found.first != i && found.second != i)
                found.second = found.second == kNoPage ? i : kManyPages;
        }
    }
    // Each page votes for the one other page its headings are also found
    // on; it is repeated there when that page holds most of them.
    std::vector<std::uint32_t> repeated(read.size(), 0);
    QHash<std::uint32_t, qsizetype> alsoOn;
    for (std::uint32_t i = 0; i < read.size(); ++i) {
        if (!read[i] || read[i]->headings.size() < 2)
            continue;
        alsoOn.clear();
        qsizetype own = 0; // headings not found on many pages (a sidebar's "Navigation")
        for (const html::Heading &heading : read[i]->headings) {
            const Holders found = holders.value(hashOf(heading));
            if (found.second == kManyPages)
                continue;
            ++own;
            if (found.second != kNoPage)
                ++alsoOn[found.first == i ? found.second : found.first];
        }
        for (auto it = alsoOn.cbegin(); it != alsoOn.cend(); ++it)
            if (it.value() >= 2 && it.value() * 2 >= own)
                ++repeated[it.key()];
    }
    for (std::size_t i = 0; i < repeated.size(); ++i)
        allInOne[i] = repeated[i] >= kFewestPagesRepeated;
    return allInOne;
}

} // namespace quorlix::pipeline
