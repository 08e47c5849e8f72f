#include "chm/system/SystemFile.h"

#include "chm/container/ByteLayout.h"
#include "chm/language/LanguageId.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace quorlix::chm {

namespace {

enum SystemCode : std::uint16_t {
    kContentsFile = 0,
    kIndexFile = 1,
    kDefaultTopic = 2,
    kTitle = 3,
    kLanguageAndFlags = 4,
    kCompiledFile = 6,
    kKeywordIndex = 7,
    kCompilerVersion = 9,
    kTimestamp = 10,
    kInformationTypeCount = 12,
    kIndexHeaderCopy = 13,
    kInformationTypeChecksum = 15,
    kDefaultFont = 16,
};

// The version of Microsoft's compiler that viewers expect to find here.
constexpr std::string_view kCompilerVersionText = "HHA Version 4.74.8702";

// Seconds from 1601-01-01 (FILETIME's epoch) to 1970-01-01.
constexpr std::int64_t kFiletimeEpochOffset = 11644473600;

// A record's length is a word; longer text is cut so that it still ends in
// its zero byte.
constexpr std::size_t kLongestText = 0xfffe;

void appendTextRecord(std::vector<std::uint8_t> &bytes, SystemCode code, std::string_view text)
{
    text = text.substr(0, std::min(text.find('\0'), kLongestText));
    appendLe16(bytes, code);
    appendLe16(bytes, static_cast<std::uint16_t>(text.size() + 1));
    appendTerminated(bytes, text);
}

} // namespace

std::string compiledFileStem(const std::string &compiledFileName)
{
    std::string stem = compiledFileName.substr(compiledFileName.find_last_of("/\\") + 1);
    const std::size_t dot = stem.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        stem.resize(dot);
    for (char &c : stem)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return stem;
}

std::vector<std::uint8_t> buildSystemFile(const SystemRecords &records)
{
    std::vector<std::uint8_t> bytes;
    appendLe32(bytes, 3); // version 3: code 4 carries the timestamp

    // In the order Microsoft's compiler writes them.
    appendLe16(bytes, kTimestamp);
    appendLe16(bytes, 4);
    appendLe32(bytes, static_cast<std::uint32_t>(records.timestamp));

    appendTextRecord(bytes, kCompilerVersion, kCompilerVersionText);

    appendLe16(bytes, kLanguageAndFlags);
    appendLe16(bytes, 36);
    appendLe32(bytes, records.languageId);
    appendLe32(bytes, usesDoubleByteCharacters(records.languageId) ? 1 : 0);
    appendLe32(bytes, records.fullTextSearch ? 1 : 0);
    appendLe32(bytes, records.keywordIndex ? 1 : 0); // binary keyword index (KLinks)
    appendLe32(bytes, 0);                            // no binary associative index (ALinks)
    const std::int64_t seconds = std::max<std::int64_t>(records.timestamp + kFiletimeEpochOffset, 0);
    appendLe64(bytes, static_cast<std::uint64_t>(seconds) * 10000000u);
    appendLe32(bytes, 0);
    appendLe32(bytes, 0);

    if (!records.defaultTopic.empty())
        appendTextRecord(bytes, kDefaultTopic, records.defaultTopic);
    if (!records.title.empty())
        appendTextRecord(bytes, kTitle, records.title);
    if (!records.defaultFont.empty())
        appendTextRecord(bytes, kDefaultFont, records.defaultFont);
    if (!records.compiledStem.empty())
        appendTextRecord(bytes, kCompiledFile, records.compiledStem);
    if (!records.contentsFile.empty())
        appendTextRecord(bytes, kContentsFile, records.contentsFile);
    if (!records.indexFile.empty())
        appendTextRecord(bytes, kIndexFile, records.indexFile);
    const auto appendDwordRecord = [&bytes](SystemCode code, std::uint32_t value) {
        appendLe16(bytes, code);
        appendLe16(bytes, 4);
        appendLe32(bytes, value);
    };
    if (records.keywordIndex)
        appendDwordRecord(kKeywordIndex, records.indexFileKey);
    appendDwordRecord(kInformationTypeCount, 0);
    if (!records.indexHeader.empty()) {
        appendLe16(bytes, kIndexHeaderCopy);
        appendLe16(bytes, static_cast<std::uint16_t>(records.indexHeader.size()));
        bytes.insert(bytes.end(), records.indexHeader.begin(), records.indexHeader.end());
    }
    appendDwordRecord(kInformationTypeChecksum, 0);
    return bytes;
}

} // namespace quorlix::chm
