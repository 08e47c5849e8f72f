#include "chm/system/InternalFiles.h"

#include "chm/container/DirectoryName.h"
#include "chm/language/AnsiText.h"
#include "chm/system/IndexHeader.h"
#include "chm/system/KeywordIndex.h"
#include "chm/system/StringsFile.h"
#include "chm/system/SystemFile.h"
#include "chm/system/TopicTables.h"
#include "chm/system/UrlHash.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace quorlix::chm {

namespace {

constexpr std::uint32_t kUtf8CodePage = 65001; // for languages without an ANSI code page

std::string withoutLeadingSlash(std::string_view name)
{
    while (!name.empty() && name.front() == '/')
        name.remove_prefix(1);
    return std::string(name);
}

// A page without a title is shown by its file name, as in the contents:
// viewers list search hits by title, and untitled ones all look alike.
std::string displayTitle(const Topic &topic)
{
    if (!topic.title.empty())
        return topic.title;
    return topic.name.substr(topic.name.find_last_of('/') + 1);
}

// The binary index's keywords with their places as topic numbers; places
// that are no page's topic are added to rows as topics of their own.
std::vector<BinaryKeyword> keywordTopics(const std::vector<IndexKeyword> &keywords, std::vector<TopicRow> &rows,
                                         std::size_t pageCount, const AnsiText &ansi)
{
    std::unordered_map<std::string, std::uint32_t> topicOf; // folded name without the slash -> number
    std::size_t places = 0;
    for (const IndexKeyword &keyword : keywords)
        places += keyword.places.size();
    topicOf.reserve(pageCount + places);
    for (std::size_t i = 0; i < pageCount; ++i)
        topicOf.emplace(foldedName(rows[i].url), static_cast<std::uint32_t>(i));
    std::vector<BinaryKeyword> binary;
    binary.reserve(keywords.size());
    for (const IndexKeyword &keyword : keywords) {
        BinaryKeyword entry{utf16(keyword.text), keyword.depth, keyword.lastLevelAt, {}};
        for (std::string place : keyword.places) {
            for (char &c : place)
                if (c == '\\')
                    c = '/';
            place = withoutLeadingSlash(place);
            const auto [found, added] = topicOf.try_emplace(foldedName(place), static_cast<std::uint32_t>(rows.size()));
            if (added)
                rows.push_back({place, ansi.fromUtf8(keyword.text), true});
            if (std::find(entry.topics.begin(), entry.topics.end(), found->second) == entry.topics.end())
                entry.topics.push_back(found->second);
        }
        binary.push_back(std::move(entry));
    }
    return binary;
}

} // namespace

std::vector<StoredFile> buildInternalFiles(const InternalFileSettings &settings, const std::vector<Topic> &topics)
{
    const AnsiText ansi(codePageOf(settings.languageId));

    std::vector<TopicRow> rows;
    rows.reserve(topics.size() + 2);
    for (const Topic &topic : topics)
        rows.push_back({withoutLeadingSlash(topic.name), ansi.fromUtf8(displayTitle(topic)), true});
    // The contents and index files are topics too, after the pages, so that
    // page topic numbers stay those the search index was given.
    if (!settings.contentsFile.empty())
        rows.push_back({withoutLeadingSlash(settings.contentsFile), std::string(), false});
    if (!settings.indexFile.empty())
        rows.push_back({withoutLeadingSlash(settings.indexFile), std::string(), false});

    std::vector<BinaryKeyword> keywords;
    if (!settings.keywords.empty())
        keywords = keywordTopics(settings.keywords, rows, topics.size(), ansi);

    StringsFile strings;
    TopicTables tables = buildTopicTables(rows, strings);
    std::vector<std::uint8_t> indexHeader = buildIndexHeader(static_cast<std::uint32_t>(rows.size()));

    SystemRecords records;
    records.contentsFile = withoutLeadingSlash(settings.contentsFile);
    records.indexFile = withoutLeadingSlash(settings.indexFile);
    records.defaultTopic = withoutLeadingSlash(settings.defaultTopic);
    records.title = ansi.fromUtf8(settings.title);
    records.languageId = settings.languageId;
    records.fullTextSearch = settings.fullTextSearch;
    records.compiledStem = compiledFileStem(settings.compiledFileName);
    records.timestamp = settings.timestamp;
    records.keywordIndex = !keywords.empty();
    records.indexFileKey = records.indexFile.empty() ? 0 : urlHash(records.indexFile);
    records.defaultFont = ansi.fromUtf8(settings.defaultFont);
    records.indexHeader = indexHeader;

    std::vector<StoredFile> files;
    // #SYSTEM and #ITBITS stay uncompressed, as other compilers store them.
    files.push_back({"/#SYSTEM", buildSystemFile(records), false});
    files.push_back({"/#ITBITS", {}, false});
    files.push_back({"/#TOPICS", std::move(tables.topics), true});
    files.push_back({"/#URLTBL", std::move(tables.urlTable), true});
    files.push_back({"/#URLSTR", std::move(tables.urlStrings), true});
    files.push_back({"/#IDXHDR", std::move(indexHeader), true});
    files.push_back({"/#STRINGS", strings.bytes(), true});
    if (!keywords.empty()) {
        const unsigned codePage = codePageOf(settings.languageId);
        KeywordIndexFiles index = buildKeywordIndex(std::move(keywords), codePage ? codePage : kUtf8CodePage,
                                                    settings.languageId);
        files.push_back({"/$WWKeywordLinks/BTree", std::move(index.tree), true});
        files.push_back({"/$WWKeywordLinks/Data", std::move(index.data), true});
        files.push_back({"/$WWKeywordLinks/Map", std::move(index.map), true});
        files.push_back({"/$WWKeywordLinks/Property", std::move(index.property), true});
        files.push_back({"/$WWAssociativeLinks/Property", std::vector<std::uint8_t>(4, 0), true});
    }
    return files;
}

} // namespace quorlix::chm
