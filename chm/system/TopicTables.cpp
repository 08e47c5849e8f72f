#include "chm/system/TopicTables.h"

#include "chm/container/ByteLayout.h"
#include "chm/system/StringsFile.h"
#include "chm/system/UrlHash.h"

#include <algorithm>

namespace quorlix::chm {

namespace {

// #TOPICS flag words: pages that are in the contents; the contents and index
// files themselves.
constexpr std::uint16_t kInContents = 6;
constexpr std::uint16_t kNotInContents = 2;

constexpr std::uint32_t kNoString = 0xffffffff;

// #URLSTR is read in blocks as #STRINGS is; an entry starts a new block
// rather than cross into the next one.
constexpr std::size_t kUrlStringsBlockSize = 4096;

std::uint32_t appendUrlString(std::vector<std::uint8_t> &urlStrings, const std::string &url)
{
    const std::size_t entrySize = 8 + url.size() + 1;
    const std::size_t roomInBlock = kUrlStringsBlockSize - urlStrings.size() % kUrlStringsBlockSize;
    if (entrySize > roomInBlock && entrySize <= kUrlStringsBlockSize)
        urlStrings.resize(urlStrings.size() + roomInBlock, 0);
    const auto offset = static_cast<std::uint32_t>(urlStrings.size());
    appendLe32(urlStrings, 0); // remote URL
    appendLe32(urlStrings, 0); // frame name
    appendTerminated(urlStrings, url);
    return offset;
}

std::uint32_t appendUrlTableEntry(std::vector<std::uint8_t> &urlTable, std::uint32_t key, std::uint32_t topic,
                                  std::uint32_t urlStringOffset)
{
    // An entry never crosses a block; a full block ends in a dword of its
    // size, as Microsoft's compiler writes it.
    if (kUrlTableBlockSize - urlTable.size() % kUrlTableBlockSize < kUrlTableEntrySize)
        appendLe32(urlTable, static_cast<std::uint32_t>(kUrlTableBlockSize));
    const auto offset = static_cast<std::uint32_t>(urlTable.size());
    appendLe32(urlTable, key);
    appendLe32(urlTable, topic);
    appendLe32(urlTable, urlStringOffset);
    return offset;
}

} // namespace

TopicTables buildTopicTables(const std::vector<TopicRow> &rows, StringsFile &strings)
{
    TopicTables tables;
    tables.topics.reserve(rows.size() * kTopicEntrySize);
    tables.urlTable.reserve(rows.size() * kUrlTableEntrySize + rows.size() / kUrlTableBlockEntries * 4);
    tables.urlStrings.push_back(0);

    std::vector<std::uint32_t> urlStringOf(rows.size());
    std::vector<std::uint32_t> keyOf(rows.size());
    std::vector<std::uint32_t> byKey(rows.size());
    for (std::size_t topic = 0; topic < rows.size(); ++topic) {
        urlStringOf[topic] = appendUrlString(tables.urlStrings, rows[topic].url);
        keyOf[topic] = urlHash(rows[topic].url);
        byKey[topic] = static_cast<std::uint32_t>(topic);
    }
    // Windows' viewer searches #URLTBL by key; equal keys keep topic order.
    std::stable_sort(byKey.begin(), byKey.end(),
                     [&keyOf](std::uint32_t a, std::uint32_t b) { return keyOf[a] < keyOf[b]; });
    std::vector<std::uint32_t> urlEntryOf(rows.size());
    for (const std::uint32_t topic : byKey)
        urlEntryOf[topic] = appendUrlTableEntry(tables.urlTable, keyOf[topic], topic, urlStringOf[topic]);

    for (std::size_t topic = 0; topic < rows.size(); ++topic) {
        const TopicRow &row = rows[topic];
        appendLe32(tables.topics, 0); // no binary contents (#TOCIDX)
        appendLe32(tables.topics, row.title.empty() ? kNoString : strings.add(row.title));
        appendLe32(tables.topics, urlEntryOf[topic]);
        appendLe16(tables.topics, row.inContents ? kInContents : kNotInContents);
        appendLe16(tables.topics, 0);
    }
    return tables;
}

} // namespace quorlix::chm
