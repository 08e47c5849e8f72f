#include "chm/system/InternalFiles.h"

#include "chm/language/AnsiText.h"
#include "chm/system/IndexHeader.h"
#include "chm/system/StringsFile.h"
#include "chm/system/SystemFile.h"
#include "chm/system/TopicTables.h"

#include <string_view>
#include <utility>

namespace quorlix::chm {

namespace {

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

    StringsFile strings;
    TopicTables tables = buildTopicTables(rows, strings);

    SystemRecords records;
    records.contentsFile = withoutLeadingSlash(settings.contentsFile);
    records.indexFile = withoutLeadingSlash(settings.indexFile);
    records.defaultTopic = withoutLeadingSlash(settings.defaultTopic);
    records.title = ansi.fromUtf8(settings.title);
    records.languageId = settings.languageId;
    records.fullTextSearch = settings.fullTextSearch;
    records.compiledStem = compiledFileStem(settings.compiledFileName);
    records.timestamp = settings.timestamp;

    std::vector<StoredFile> files;
    // #SYSTEM and #ITBITS stay uncompressed, as other compilers store them.
    files.push_back({"/#SYSTEM", buildSystemFile(records), false});
    files.push_back({"/#ITBITS", {}, false});
    files.push_back({"/#TOPICS", std::move(tables.topics), true});
    files.push_back({"/#URLTBL", std::move(tables.urlTable), true});
    files.push_back({"/#URLSTR", std::move(tables.urlStrings), true});
    files.push_back({"/#IDXHDR", buildIndexHeader(static_cast<std::uint32_t>(rows.size())), true});
    files.push_back({"/#STRINGS", strings.bytes(), true});
    return files;
}

} // namespace quorlix::chm
