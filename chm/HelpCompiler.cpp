#include "chm/HelpCompiler.h"

#include "chm/container/ChmWriter.h"
#include "chm/container/DirectoryName.h"
#include "chm/FileReadAhead.h"
#include "chm/HelpProjectFile.h"
#include "chm/ProjectFolder.h"
#include "chm/prepared/AdoptedIntervals.h"
#include "chm/prepared/ContentDigest.h"
#include "chm/prepared/PreparedContent.h"
#include "chm/prepared/PreparedContentWriter.h"
#include "chm/search/SearchIndexThread.h"
#include "chm/sheets/StyleSheetFlattener.h"
#include "chm/system/InternalFiles.h"
#include "html/PageReader.h"
#include "html/FileBytes.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <future>
#include <optional>
#include <stdexcept>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace quorlix::chm {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kLongestName = 512;             // what chmlib can look up
constexpr std::size_t kStreamPiece = 1 << 20;

// A size as people read it: kB below a megabyte, so small sites do not
// read "0.0 MB".
std::string readableSize(std::uint64_t bytes)
{
    char text[32];
    if (bytes < 1000000)
        std::snprintf(text, sizeof text, "%.1f kB", double(bytes) / 1e3);
    else
        std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / 1e6);
    return text;
}

// Temporary files of compiles that were ended by force, with no chance to
// remove their own.
void removeStaleTemporaryFiles(const fs::path &folder)
{
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() < 10 || name.compare(0, 5, ".hhc-") != 0 || name.compare(name.size() - 4, 4, ".chm") != 0)
            continue;
        const std::string digits = name.substr(5, name.size() - 9);
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const long pid = std::strtol(digits.c_str(), nullptr, 10);
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            fs::remove(it->path(), error);
    }
}

class Compilation {
public:
    Compilation(const fs::path &projectFile, std::ostream &log, CompileOptions options)
        : projectFile_(projectFile), log_(log), options_(options)
    {
    }

    int run();

private:
    void warn(const std::string &text) { log_ << "Warning: " << text << "\n"; ++warnings_; }
    std::vector<ListedFile> listFiles();
    // A file the project names, read whole from the project's folder; why
    // not, when it cannot be.
    std::optional<std::string> readInFolder(const fs::path &source, std::uint64_t largest, std::string &why) const;
    // The bytes stored, or nothing when the file was left out.
    std::optional<std::uint64_t> addListedFile(ChmWriter &writer, const ListedFile &file, FileRead read);
    // The contents or index file: its name in the help file, and its bytes
    // unless the listed files stored it already (bytes empty then).
    struct ExtraFile {
        std::string name;
        std::string bytes;
        bool listed = false; // stored among the listed files: not read here
    };
    std::optional<ExtraFile> readExtraFile(const ChmWriter &writer, const std::string &listed, const char *what);
    // Why the contents or index file ("contents", "index") is left out.
    void warnExtraRefused(const char *what, const std::string &listed, const std::string &refusal);
    void warnExtraUnread(const char *what, const fs::path &source, const std::string &why);
    // The index file, read and its keywords parsed on a thread of their own
    // while the listed files are stored: on a large site that is a few
    // tenths of a second the compile's end no longer waits for.
    struct IndexRead {
        ProjectFolder::Listed resolved;
        std::optional<std::string> bytes; // none: why says why
        std::string why;
        std::vector<IndexKeyword> keywords;
    };
    void startIndexRead();
    std::optional<ExtraFile> takeIndexFile(const ChmWriter &writer, std::vector<IndexKeyword> &keywords);
    std::optional<std::string> addExtraFile(ChmWriter &writer, const std::string &listed, const char *what);
    struct Stored {
        std::uint64_t files = 0, bytes = 0;
    };
    Stored addListedFiles(ChmWriter &writer, const std::vector<ListedFile> &files);
    // A listed file the prepared content holds as it is now, and where it
    // lies in the new stream. No entry: read afresh.
    struct Reused {
        const PreparedContent::File *entry = nullptr;
        std::uint64_t offset = 0;
    };
    // Which listed files are taken from the prepared content; the intervals
    // that hold them are adopted into writer.
    std::vector<Reused> adoptPrepared(ChmWriter &writer, const std::vector<ListedFile> &files);
    bool matchesPrepared(const ListedFile &file, const PreparedContent::File &entry) const;
    std::uint64_t addPreparedFile(ChmWriter &writer, const ListedFile &file, const Reused &reused);
    InternalFileSettings internalFileSettings(ChmWriter &writer, const fs::path &output,
                                              const ChmWriter::Options &writerOptions, std::optional<ExtraFile> &index,
                                              std::vector<IndexKeyword> &keywords);
    std::uint64_t compileInto(const std::string &temporary, const fs::path &output,
                              const std::vector<ListedFile> &files, Stored &stored);
    // A listed style sheet's text as saved, for the sheets that import it.
    std::optional<std::string> readSheet(const std::string &name) const;

    fs::path projectFile_;
    std::ostream &log_;
    CompileOptions options_;
    HelpProject project_;
    std::optional<ProjectFolder> folder_;
    std::optional<StyleSheetFlattener> sheets_;
    std::vector<Topic> topics_;
    std::size_t windows1252Pages_ = 0; // pages read as Windows-1252
    // Before the search index's thread, which reads the prepared texts: it
    // is ended first.
    std::unique_ptr<PreparedContent> prepared_;
    std::optional<SearchIndexThread> search_;
    std::future<IndexRead> indexRead_;
    std::vector<char> piece_; // a piece of a large file being streamed
    std::unordered_map<std::string, fs::path> sheetSources_; // folded stored name -> source
    unsigned warnings_ = 0;
};

std::vector<ListedFile> Compilation::listFiles()
{
    std::vector<ListedFile> files;
    std::unordered_map<std::string, std::string> byFolded; // folded name -> the name kept
    for (const std::string &listed : project_.files) {
        const ProjectFolder::Listed resolved = folder_->resolve(listed);
        const std::string &name = resolved.name;
        if (name.empty()) {
            warn("\"" + listed + "\" " + resolved.refusal + "; left out");
            continue;
        }
        if (name.size() > kLongestName) {
            warn("the name of \"" + listed + "\" is longer than " + std::to_string(kLongestName) +
                 " bytes; left out");
            continue;
        }
        const auto [kept, added] = byFolded.emplace(foldedName(name), name);
        if (!added) {
            // The same file listed twice is simply stored once; names that
            // differ only in case would be one entry to every reader.
            if (kept->second != name)
                warn("\"" + listed + "\" differs from \"" + kept->second.substr(1) +
                     "\" only in letter case; the first is kept");
            continue;
        }
        files.push_back({name, resolved.source, resolved.stamp});
        if (isStyleSheetName(name))
            sheetSources_.emplace(foldedName(name), files.back().source);
    }
    return files;
}

std::optional<std::string> Compilation::readInFolder(const fs::path &source, std::uint64_t largest,
                                                     std::string &why) const
{
    const UniqueFd in = folder_->openForReading(source);
    struct stat status {};
    if (!in) {
        why = errno == EXDEV ? "it is outside the project's folder" : std::strerror(errno);
        return std::nullopt;
    }
    if (::fstat(in.get(), &status) != 0 || !S_ISREG(status.st_mode)
        || static_cast<std::uint64_t>(status.st_size) > largest) {
        why = "it is not a file, or too large";
        return std::nullopt;
    }
    std::string bytes;
    if (!html::readAllFrom(in.get(), bytes)) {
        why = std::strerror(errno);
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::string> Compilation::readSheet(const std::string &name) const
{
    const auto found = sheetSources_.find(foldedName(name));
    std::string why;
    if (found == sheetSources_.end())
        return std::nullopt;
    return readInFolder(found->second, FileReadAhead::kLargestOtherRead, why);
}

std::optional<std::uint64_t> Compilation::addListedFile(ChmWriter &writer, const ListedFile &file, FileRead read)
{
    const std::string source = file.source.string();
    switch (read.outcome) {
    case FileRead::Outcome::Missing:
        warn("cannot find " + source + "; left out");
        return std::nullopt;
    case FileRead::Outcome::NotAFile:
        warn(source + " is not a file; left out");
        return std::nullopt;
    case FileRead::Outcome::TooLarge:
        warn(source + " is larger than 4 GB, more than a help file can hold; left out");
        return std::nullopt;
    case FileRead::Outcome::Unreadable:
        warn("cannot read " + source + " (" + read.error + "); left out");
        return std::nullopt;
    case FileRead::Outcome::Outside:
        warn(source + " is outside the project's folder (a symbolic link leads out of it); left out");
        return std::nullopt;
    case FileRead::Outcome::Read: {
        if (isStyleSheetName(file.name))
            read.bytes = sheets_->flatten(file.name, read.bytes);
        writer.addFile(file.name,
                       std::span(reinterpret_cast<const std::uint8_t *>(read.bytes.data()), read.bytes.size()));
        if (read.page) {
            std::string title = html::topicTitle(read.parsed.title, read.parsed.firstHeading);
            if (search_)
                search_->addDocument(static_cast<std::uint32_t>(topics_.size()), title, std::move(read.parsed.text));
            topics_.push_back({file.name, std::move(title)});
            windows1252Pages_ += read.parsed.windows1252 ? 1 : 0;
        }
        return read.bytes.size();
    }
    case FileRead::Outcome::Stream:
        break;
    }

    // A large file streams through in pieces; a page this large keeps its
    // name as its title and is not searched.
    const UniqueFd in = folder_->openForReading(file.source);
    if (!in) {
        warn("cannot read " + source + " ("
             + (errno == EXDEV ? "it is outside the project's folder" : std::strerror(errno)) + "); left out");
        return std::nullopt;
    }
    piece_.resize(kStreamPiece);
    std::uint64_t stored = 0;
    writer.beginFile(file.name);
    for (;;) {
        const ssize_t got = ::read(in.get(), piece_.data(), piece_.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            warn("reading " + source + " failed part way (" + std::strerror(errno) + "); what was read is stored");
        if (got <= 0)
            break;
        writer.write(std::span(reinterpret_cast<const std::uint8_t *>(piece_.data()), std::size_t(got)));
        stored += std::uint64_t(got);
    }
    writer.endFile();
    if (read.page) {
        if (search_)
            search_->addDocument(static_cast<std::uint32_t>(topics_.size()), std::string(), std::string());
        topics_.push_back({file.name, {}});
    }
    return stored;
}

// The contents or index file: stored under its name when the project lists
// it among [OPTIONS] only. Returns the name for #SYSTEM, or nothing when the
// file is missing.
std::optional<Compilation::ExtraFile> Compilation::readExtraFile(const ChmWriter &writer, const std::string &listed,
                                                                const char *what)
{
    const ProjectFolder::Listed resolved = folder_->resolve(listed);
    if (resolved.name.empty()) {
        warnExtraRefused(what, listed, resolved.refusal);
        return std::nullopt;
    }
    ExtraFile file{resolved.name, {}, writer.contains(resolved.name)};
    if (file.listed)
        return file;
    std::string why;
    std::optional<std::string> bytes = readInFolder(resolved.source, FileReadAhead::kLargestFile, why);
    if (!bytes) {
        warnExtraUnread(what, resolved.source, why);
        return std::nullopt;
    }
    file.bytes = std::move(*bytes);
    return file;
}

void Compilation::warnExtraRefused(const char *what, const std::string &listed, const std::string &refusal)
{
    warn(std::string("the ") + what + " file \"" + listed + "\" " + refusal + "; left out");
}

void Compilation::warnExtraUnread(const char *what, const fs::path &source, const std::string &why)
{
    warn(std::string("cannot read the ") + what + " file " + source.string() + " (" + why
         + "); the help file has none");
}

void Compilation::startIndexRead()
{
    if (project_.indexFile.empty())
        return;
    indexRead_ = std::async(std::launch::async, [this, resolved = folder_->resolve(project_.indexFile)]() mutable {
        IndexRead read{std::move(resolved), std::nullopt, {}, {}};
        if (read.resolved.name.empty())
            return read;
        read.bytes = readInFolder(read.resolved.source, FileReadAhead::kLargestFile, read.why);
        if (read.bytes)
            read.keywords = readIndexKeywords(*read.bytes);
        return read;
    });
}

// As readExtraFile, from what startIndexRead() read.
std::optional<Compilation::ExtraFile> Compilation::takeIndexFile(const ChmWriter &writer,
                                                                 std::vector<IndexKeyword> &keywords)
{
    IndexRead read = indexRead_.get();
    if (read.resolved.name.empty()) {
        warnExtraRefused("index", project_.indexFile, read.resolved.refusal);
        return std::nullopt;
    }
    ExtraFile file{read.resolved.name, {}, writer.contains(read.resolved.name)};
    if (!read.bytes && !file.listed) {
        warnExtraUnread("index", read.resolved.source, read.why);
        return std::nullopt;
    }
    keywords = std::move(read.keywords);
    if (!file.listed)
        file.bytes = std::move(*read.bytes);
    return file;
}

std::optional<std::string> Compilation::addExtraFile(ChmWriter &writer, const std::string &listed, const char *what)
{
    std::optional<ExtraFile> file = readExtraFile(writer, listed, what);
    if (!file)
        return std::nullopt;
    if (!file->listed)
        writer.addFile(file->name, std::span(reinterpret_cast<const std::uint8_t *>(file->bytes.data()),
                                             file->bytes.size()));
    return file->name.substr(1);
}

bool Compilation::matchesPrepared(const ListedFile &file, const PreparedContent::File &entry) const
{
    if (!PreparedContentWriter::storedAsSaved(file.name))
        return false;
    // A page is taken only with its reading, and only where the compile
    // would read it too (larger ones keep their name as their title).
    if (html::isPageName(file.name) && (!entry.pageRead || entry.size > FileReadAhead::kLargestPageRead))
        return false;
    // The very file the bytes were read from, untouched since: taken
    // without reading it again (a site's worth of opens and reads). A plain
    // file was stamped as it was listed, a moment ago.
    if (entry.stamp) {
        std::optional<html::FileStamp> stamp = file.stamp;
        struct stat now {};
        if (!stamp && ::stat(file.source.c_str(), &now) == 0 && S_ISREG(now.st_mode))
            stamp = html::fileStampOf(now);
        if (stamp && *stamp == *entry.stamp && static_cast<std::uint64_t>(stamp->size) == entry.size)
            return true;
    }
    const UniqueFd in = folder_->openForReading(file.source);
    struct stat status {};
    if (!in || ::fstat(in.get(), &status) != 0 || !S_ISREG(status.st_mode)
        || static_cast<std::uint64_t>(status.st_size) != entry.size)
        return false;
    const std::optional<ContentDigest> digest = digestOfFile(in.get());
    return digest && *digest == entry.digest;
}

std::vector<Compilation::Reused> Compilation::adoptPrepared(ChmWriter &writer, const std::vector<ListedFile> &files)
{
    std::vector<Reused> reused(files.size());
    if (!prepared_)
        return reused;
    const std::uint64_t whole = prepared_->intervals() * kLzxResetInterval;
    std::vector<PreparedSpan> live;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const PreparedContent::File *entry = prepared_->find(files[i].name);
        if (entry && entry->offset + entry->size <= whole && matchesPrepared(files[i], *entry)) {
            reused[i].entry = entry;
            live.push_back({entry->offset, entry->size});
        }
    }
    const AdoptedIntervals adopted(prepared_->intervals(), prepared_->streamBytes(), live);
    std::size_t taken = 0;
    for (Reused &file : reused) {
        if (!file.entry)
            continue;
        if (const std::optional<std::uint64_t> offset = adopted.placed({file.entry->offset, file.entry->size})) {
            file.offset = *offset;
            ++taken;
        } else {
            file.entry = nullptr;
        }
    }
    for (const std::size_t interval : adopted.taken())
        writer.adoptInterval(prepared_->interval(interval));
    if (taken) {
        log_ << "  " << taken << " of " << files.size() << " files were compressed while they downloaded\n";
        log_.flush();
    }
    return reused;
}

std::uint64_t Compilation::addPreparedFile(ChmWriter &writer, const ListedFile &file, const Reused &reused)
{
    const PreparedContent::File &entry = *reused.entry;
    writer.addPlacedFile(file.name, reused.offset, entry.size);
    if (html::isPageName(file.name)) {
        // The index's thread reads the page's words itself: the files go on
        // being stored while it works, rather than wait for room in its queue.
        if (search_)
            search_->addSplitDocument(
                static_cast<std::uint32_t>(topics_.size()),
                [prepared = prepared_.get(), &entry] { return prepared->words(entry); }, prepared_->words());
        std::string title = html::topicTitle(entry.title, entry.firstHeading);
        topics_.push_back({file.name, std::move(title)});
        windows1252Pages_ += entry.windows1252 ? 1 : 0;
    }
    return entry.size;
}

// Every listed file into writer, in order, with progress by quarters.
Compilation::Stored Compilation::addListedFiles(ChmWriter &writer, const std::vector<ListedFile> &files)
{
    Stored stored;
    const std::vector<Reused> reused = adoptPrepared(writer, files);
    std::vector<ListedFile> fresh;
    for (std::size_t i = 0; i < files.size(); ++i)
        if (!reused[i].entry)
            fresh.push_back(files[i]);
    FileReadAhead reader(*folder_, fresh, search_ ? html::PageParts::OutlineAndText : html::PageParts::Outline,
                         options_.threads);
    std::size_t done = 0, freshTaken = 0;
    unsigned quarter = 1;
    for (const ListedFile &file : files) {
        const std::optional<std::uint64_t> bytes =
            reused[done].entry ? addPreparedFile(writer, file, reused[done])
                         : addListedFile(writer, file, reader.take(freshTaken++));
        if (bytes) {
            ++stored.files;
            stored.bytes += *bytes;
        }
        ++done;
        if (files.size() >= 100 && quarter < 4 && done == files.size() * quarter / 4) {
            log_ << "  " << done << " of " << files.size() << " files\n";
            log_.flush();
            ++quarter;
        }
    }
    if (stored.files == 0)
        throw std::runtime_error("none of the listed files could be read");
    if (const std::uint64_t cut = sheets_->sheetsCut())
        warn(std::to_string(cut) + (cut == 1 ? " style sheet keeps" : " style sheets keep")
             + " imports or addresses as written: flattening them would add more than "
             + readableSize(StyleSheetFlattener::kBudget) + " to the help file, or nest imports more than "
             + std::to_string(StyleSheetFlattener::kDeepestImport) + " deep");
    return stored;
}

// The internal files' settings; stores the contents file. The index file
// is read, not stored yet: index holds it, when there is one.
InternalFileSettings Compilation::internalFileSettings(ChmWriter &writer, const fs::path &output,
                                                       const ChmWriter::Options &writerOptions,
                                                       std::optional<ExtraFile> &index,
                                                       std::vector<IndexKeyword> &keywords)
{
    const ProjectFolder::Listed topic = folder_->resolve(project_.defaultTopic);
    const std::string &defaultTopic = topic.name;
    if (project_.defaultTopic.empty())
        warn("the project names no default topic");
    else if (defaultTopic.empty())
        warn("the default topic \"" + project_.defaultTopic + "\" " + topic.refusal);
    else if (!writer.contains(defaultTopic))
        warn("the default topic \"" + project_.defaultTopic + "\" is not among the stored files");

    InternalFileSettings settings;
    settings.title = project_.title;
    settings.defaultTopic = defaultTopic.empty() ? std::string() : defaultTopic.substr(1);
    settings.compiledFileName = output.filename().string();
    settings.languageId = writerOptions.languageId;
    settings.timestamp = writerOptions.timestamp;
    settings.defaultFont = project_.defaultFont;
    settings.fullTextSearch = search_.has_value();
    if (!project_.contentsFile.empty())
        settings.contentsFile = addExtraFile(writer, project_.contentsFile, "contents").value_or("");
    if (indexRead_.valid())
        index = takeIndexFile(writer, keywords);
    if (index)
        settings.indexFile = index->name.substr(1);
    return settings;
}

// Writes the help file into temporary; returns its size.
std::uint64_t Compilation::compileInto(const std::string &temporary, const fs::path &output,
                                       const std::vector<ListedFile> &files, Stored &stored)
{
    ChmWriter::Options writerOptions;
    writerOptions.threads = options_.threads;
    writerOptions.timestamp = static_cast<std::uint32_t>(std::time(nullptr));
    writerOptions.languageId = languageIdFromProject(project_.language);
    ChmWriter writer(temporary, writerOptions);
    stored = addListedFiles(writer, files);

    // kchmviewer shows every page in the encoding of the help file's
    // language, whatever a page declares, and a language it does not know
    // (Quorlix's own "0x089") as UTF-8. A site written mostly in
    // Windows-1252 is then better named English, whose code page it is.
    if (codePageOf(writerOptions.languageId) == 0 && windows1252Pages_ * 2 > topics_.size()) {
        writerOptions.languageId = kDefaultLanguageId;
        writer.setLanguageId(kDefaultLanguageId);
        if (search_)
            search_->setLanguageId(kDefaultLanguageId);
    }
    if (search_)
        search_->allAdded();

    std::optional<ExtraFile> index;
    std::vector<IndexKeyword> keywords;
    InternalFileSettings settings = internalFileSettings(writer, output, writerOptions, index, keywords);
    settings.keywords = std::move(keywords);
    if (index && !index->listed)
        writer.addFile(index->name,
                       std::span(reinterpret_cast<const std::uint8_t *>(index->bytes.data()), index->bytes.size()));
    for (StoredFile &file : buildInternalFiles(settings, topics_))
        writer.addFile(file.name, file.bytes, file.compressed);
    if (search_)
        writer.addFile("/$FIftiMain", search_->build());
    return writer.finish();
}

int Compilation::run()
{
    const auto started = std::chrono::steady_clock::now();
    try {
        project_ = readHelpProject(projectFile_);
    } catch (const std::exception &error) {
        log_ << "Error: " << error.what() << "\n";
        return 1;
    }
    if (project_.files.empty()) {
        log_ << "Error: the project " << projectFile_.string() << " lists no files under [FILES]\n";
        return 1;
    }

    folder_.emplace(project_.folder);
    std::string refusal;
    const std::optional<fs::path> outputInFolder = folder_->outputPath(project_.compiledFile, projectFile_, refusal);
    if (!outputInFolder) {
        log_ << "Error: the compiled file \"" << project_.compiledFile << "\" " << refusal
             << "; no help file was written\n";
        return 1;
    }
    const fs::path &output = *outputInFolder;
    const fs::path folder = output.parent_path();
    sheets_.emplace([this](const std::string &name) { return readSheet(name); });
    startIndexRead();
    const std::vector<ListedFile> files = listFiles();
    prepared_ = PreparedContent::open(options_.prepared);
    if (project_.fullTextSearch)
        search_.emplace(languageIdFromProject(project_.language));
    log_ << "Compiling " << files.size() << " files of " << projectFile_.string() << " into " << output.string()
         << "\n";
    log_.flush();

    removeStaleTemporaryFiles(folder);
    const std::string temporary = temporaryHelpFile(folder, ::getpid()).string();
    const auto forgetTemporary = [this] {
        if (options_.temporaryFile)
            options_.temporaryFile({});
    };
    // Named before it is made: a stop that comes while it is being made
    // still removes it (the name is this process's own).
    if (options_.temporaryFile)
        options_.temporaryFile(temporary);
    // Made anew, never through a link or over a file someone put there; one
    // left by an earlier process of the same number goes first.
    const auto create = [&] {
        return ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    };
    int fd = create();
    if (fd < 0 && errno == EEXIST && ::unlink(temporary.c_str()) == 0)
        fd = create();
    if (fd < 0) {
        forgetTemporary();
        log_ << "Error: cannot write into " << folder.string() << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    ::close(fd);

    try {
        Stored stored;
        const std::uint64_t fileSize = compileInto(temporary, output, files, stored);
        std::error_code error;
        fs::permissions(temporary,
                        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read,
                        error);
        if (std::rename(temporary.c_str(), output.c_str()) != 0)
            throw std::runtime_error("cannot replace " + output.string() + ": " + std::strerror(errno));
        forgetTemporary();

        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        char time[32];
        std::snprintf(time, sizeof time, "%.2f s", seconds);
        log_ << "Compiled " << stored.files << " files (" << readableSize(stored.bytes) << ") into "
             << output.filename().string() << " (" << readableSize(fileSize) << ") in " << time;
        if (warnings_)
            log_ << ", " << warnings_ << (warnings_ == 1 ? " warning" : " warnings");
        log_ << "\n";
        log_.flush();
        return 0;
    } catch (const std::exception &error) {
        std::remove(temporary.c_str());
        forgetTemporary();
        log_ << "Error: " << error.what() << "; no help file was written\n";
        log_.flush();
        return 1;
    }
}

} // namespace

fs::path temporaryHelpFile(const fs::path &folder, long pid)
{
    return folder / (".hhc-" + std::to_string(pid) + ".chm");
}

int compileHelpProject(const fs::path &project, std::ostream &log, CompileOptions options)
{
    return Compilation(project, log, options).run();
}

} // namespace quorlix::chm
