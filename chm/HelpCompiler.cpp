#include "chm/HelpCompiler.h"

#include "chm/container/ChmWriter.h"
#include "chm/container/DirectoryName.h"
#include "chm/FileReadAhead.h"
#include "chm/HelpProjectFile.h"
#include "chm/search/FullTextIndex.h"
#include "chm/sheets/StyleSheetFlattener.h"
#include "chm/system/InternalFiles.h"
#include "html/PageReader.h"

#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <unordered_map>

namespace quorlix::chm {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kLongestName = 512;             // what chmlib can look up
constexpr std::size_t kStreamPiece = 1 << 20;

// A project path as a name inside the help file: "/" and the path relative to
// the project's folder with "/" separators. Empty when it leaves the folder.
std::string storedName(std::string path)
{
    for (char &c : path)
        if (c == '\\')
            c = '/';
    std::string name = resolvedPath(path).value_or("");
    while (!name.empty() && name.back() == '/')
        name.pop_back();
    return name;
}

// "a.css", and "a.css@v=2" as the downloader saves "a.css?v=2".
bool isStyleSheet(std::string_view name)
{
    const std::string file = foldedName(name.substr(name.rfind('/') + 1));
    const std::size_t css = file.rfind(".css");
    return css != std::string::npos && css > 0 && (css + 4 == file.size() || file[css + 4] == '@');
}

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

// Where a listed file is read from: under the project's folder, or, for a
// path that is absolute and not there, the path itself.
fs::path sourceOf(const HelpProject &project, const std::string &listed, const std::string &name)
{
    fs::path inFolder = project.folder / fs::path(name.substr(1));
    std::error_code error;
    if (!fs::exists(inFolder, error) && !listed.empty() && listed[0] == '/' && fs::exists(fs::path(listed), error))
        return fs::path(listed);
    return inFolder;
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
    // The bytes stored, or nothing when the file was left out.
    std::optional<std::uint64_t> addListedFile(ChmWriter &writer, const ListedFile &file, FileRead read);
    std::optional<std::string> addExtraFile(ChmWriter &writer, const std::string &listed, const char *what);
    struct Stored {
        std::uint64_t files = 0, bytes = 0;
    };
    fs::path outputPath() const;
    Stored addListedFiles(ChmWriter &writer, const std::vector<ListedFile> &files);
    InternalFileSettings internalFileSettings(ChmWriter &writer, const fs::path &output,
                                              const ChmWriter::Options &writerOptions);
    std::uint64_t compileInto(const std::string &temporary, const fs::path &output,
                              const std::vector<ListedFile> &files, Stored &stored);
    // A listed style sheet's text as saved, for the sheets that import it.
    std::optional<std::string> readSheet(const std::string &name) const;

    fs::path projectFile_;
    std::ostream &log_;
    CompileOptions options_;
    HelpProject project_;
    std::vector<Topic> topics_;
    std::size_t windows1252Pages_ = 0; // pages read as Windows-1252
    std::optional<FullTextIndexBuilder> search_;
    std::vector<char> piece_; // a piece of a large file being streamed
    std::unordered_map<std::string, fs::path> sheetSources_; // folded stored name -> source
    unsigned warnings_ = 0;
};

std::vector<ListedFile> Compilation::listFiles()
{
    std::vector<ListedFile> files;
    std::unordered_map<std::string, std::string> byFolded; // folded name -> the name kept
    for (const std::string &listed : project_.files) {
        const std::string name = storedName(listed);
        if (name.empty()) {
            warn("\"" + listed + "\" is outside the project's folder; left out");
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
        files.push_back({name, sourceOf(project_, listed, name)});
        if (isStyleSheet(name))
            sheetSources_.emplace(foldedName(name), files.back().source);
    }
    return files;
}

std::optional<std::string> Compilation::readSheet(const std::string &name) const
{
    const auto found = sheetSources_.find(foldedName(name));
    std::error_code error;
    if (found == sheetSources_.end() || fs::file_size(found->second, error) > FileReadAhead::kLargestOtherRead || error)
        return std::nullopt;
    std::ifstream in(found->second, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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
    case FileRead::Outcome::Read: {
        if (isStyleSheet(file.name))
            read.bytes = flattenStyleSheet(file.name, read.bytes, [this](const std::string &name) { return readSheet(name); });
        writer.addFile(file.name,
                       std::span(reinterpret_cast<const std::uint8_t *>(read.bytes.data()), read.bytes.size()));
        if (read.page) {
            std::string title = !read.parsed.title.empty() ? read.parsed.title : read.parsed.firstHeading;
            if (search_)
                search_->addDocument(static_cast<std::uint32_t>(topics_.size()), title, read.parsed.text);
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
    std::ifstream in(file.source, std::ios::binary);
    if (!in) {
        warn("cannot read " + source + " (" + std::strerror(errno) + "); left out");
        return std::nullopt;
    }
    piece_.resize(kStreamPiece);
    std::uint64_t stored = 0;
    writer.beginFile(file.name);
    while (in) {
        in.read(piece_.data(), static_cast<std::streamsize>(piece_.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got)
            writer.write(std::span(reinterpret_cast<const std::uint8_t *>(piece_.data()), got));
        stored += got;
    }
    if (in.bad())
        warn("reading " + source + " failed part way (" + std::strerror(errno) + "); what was read is stored");
    writer.endFile();
    if (read.page) {
        if (search_)
            search_->addDocument(static_cast<std::uint32_t>(topics_.size()), {}, {});
        topics_.push_back({file.name, {}});
    }
    return stored;
}

// The contents or index file: stored under its name when the project lists
// it among [OPTIONS] only. Returns the name for #SYSTEM, or nothing when the
// file is missing.
std::optional<std::string> Compilation::addExtraFile(ChmWriter &writer, const std::string &listed, const char *what)
{
    const std::string name = storedName(listed);
    if (name.empty()) {
        warn(std::string("the ") + what + " file \"" + listed + "\" is outside the project's folder; left out");
        return std::nullopt;
    }
    if (writer.contains(name))
        return name.substr(1);
    const fs::path source = sourceOf(project_, listed, name);
    std::ifstream in(source, std::ios::binary);
    if (!in) {
        warn(std::string("cannot read the ") + what + " file " + source.string() + "; the help file has none");
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    writer.addFile(name, bytes);
    return name.substr(1);
}

// The help file's path from the project: "Compiled file=", else the
// project's name with ".chm", relative to the project's folder.
fs::path Compilation::outputPath() const
{
    fs::path output = project_.compiledFile.empty() ? fs::path(projectFile_).replace_extension(".chm").filename()
                                                   : fs::path(project_.compiledFile);
    return output.is_relative() ? project_.folder / output : output;
}

// Every listed file into writer, in order, with progress by quarters.
Compilation::Stored Compilation::addListedFiles(ChmWriter &writer, const std::vector<ListedFile> &files)
{
    Stored stored;
    FileReadAhead reader(files, search_ ? html::PageParts::OutlineAndText : html::PageParts::Outline,
                         options_.threads);
    std::size_t done = 0;
    unsigned quarter = 1;
    for (const ListedFile &file : files) {
        if (const auto bytes = addListedFile(writer, file, reader.take(done))) {
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
    return stored;
}

// The internal files' settings; stores the contents and index files.
InternalFileSettings Compilation::internalFileSettings(ChmWriter &writer, const fs::path &output,
                                                      const ChmWriter::Options &writerOptions)
{
    const std::string defaultTopic = storedName(project_.defaultTopic);
    if (project_.defaultTopic.empty())
        warn("the project names no default topic");
    else if (defaultTopic.empty() || !writer.contains(defaultTopic))
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
    if (!project_.indexFile.empty())
        settings.indexFile = addExtraFile(writer, project_.indexFile, "index").value_or("");
    if (!settings.indexFile.empty()) {
        std::ifstream in(sourceOf(project_, project_.indexFile, "/" + settings.indexFile), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        settings.keywords = readIndexKeywords(bytes);
    }
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

    for (StoredFile &file : buildInternalFiles(internalFileSettings(writer, output, writerOptions), topics_))
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

    const fs::path output = outputPath();
    const fs::path folder = output.parent_path();
    const std::vector<ListedFile> files = listFiles();
    if (project_.fullTextSearch)
        search_.emplace(languageIdFromProject(project_.language));
    log_ << "Compiling " << files.size() << " files of " << projectFile_.string() << " into " << output.string()
         << "\n";
    log_.flush();

    removeStaleTemporaryFiles(folder);
    const std::string temporary = temporaryHelpFile(folder, ::getpid()).string();
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        log_ << "Error: cannot write into " << folder.string() << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    ::close(fd);
    if (options_.temporaryFile)
        options_.temporaryFile(temporary);
    const auto forgetTemporary = [this] {
        if (options_.temporaryFile)
            options_.temporaryFile({});
    };

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
