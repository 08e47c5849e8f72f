// The help compiler against chmcmd on the same project: a generated site of
// thousands of files (bench/generate_site.py) with contents, index and
// full-text search, compiled by quorlix-hhc and by chmcmd --no-html-scan.
//
//   bench_compile [--files N | --site FOLDER] [--rounds R] [--keep]     (defaults 4000 and 1)
//
// --site compiles a copy of an existing folder (Debian's Python
// documentation: /usr/share/doc/python3.11/html) instead of a generated one.
// Each round also compiles with content prepared as the window prepares it
// while a site downloads (every file compressed, every page read, in list
// order); the preparing is timed apart, since the download hides it.
//
// Prints each compile's time (and CPU time, which a busy machine inflates
// less) and peak memory (the child's maximum resident
// set), both help files' sizes and the ratios. Rounds alternate which
// compiler goes first; the first round is preceded by an untimed read of the
// site to warm the caches.

#include "chm/prepared/PreparedContentWriter.h"
#include "html/PageReader.h"
#include "support/ChildRun.h"

#include <ctime>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string &why)
{
    std::fprintf(stderr, "bench_compile: %s\n", why.c_str());
    std::exit(1);
}

using Run = quorlix::bench::ChildRun;

Run runChild(const std::vector<std::string> &command, const fs::path &folder, const fs::path &log)
{
    const Run run = quorlix::bench::runChild(command, folder, log);
    if (!run.started)
        fail("cannot start " + command[0]);
    return run;
}

void writeText(const fs::path &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out)
        fail("cannot write " + path.string());
}

// The project, a contents file (one entry per page, grouped by folder) and
// an index (one keyword per page), as Quorlix writes them for a site.
void writeProject(const fs::path &folder, const std::string &compiled, const std::vector<std::string> &files)
{
    std::string toc = "<html><body>\r\n<ul>\r\n", index = toc;
    std::string group;
    for (const std::string &file : files) {
        if (file.size() < 5 || file.compare(file.size() - 5, 5, ".html") != 0)
            continue;
        const std::string folderName = file.substr(0, file.rfind('/'));
        if (folderName != group) {
            if (!group.empty())
                toc += "</ul>\r\n";
            group = folderName;
            toc += "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"" + group +
                   "\"></object>\r\n<ul>\r\n";
        }
        const std::string entry = "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"" + file +
                                  "\"><param name=\"Local\" value=\"" + file + "\"></object>\r\n";
        toc += entry;
        index += entry;
    }
    toc += "</ul>\r\n</ul>\r\n</body></html>\r\n";
    index += "</ul>\r\n</body></html>\r\n";
    writeText(folder / "output.hhc", toc);
    writeText(folder / "output.hhk", index);

    std::string project = "[OPTIONS]\r\nCompatibility=1.1 or later\r\nCompiled file=" + compiled +
                          "\r\nContents file=output.hhc\r\nIndex file=output.hhk\r\nDefault topic=" + files.front() +
                          "\r\nDisplay compile progress=No\r\nFull-text search=Yes\r\n"
                          "Language=0x409 English (United States)\r\nTitle=Benchmark\r\n\r\n[FILES]\r\n";
    for (const std::string &file : files)
        project += file + "\r\n";
    project += "\r\n[INFOTYPES]\r\n\r\n";
    writeText(folder / (compiled.substr(0, compiled.find('.')) + ".hhp"), project);
}

double megabytes(std::uintmax_t bytes) { return double(bytes) / 1e6; }

double processorSeconds()
{
    return double(std::clock()) / CLOCKS_PER_SEC;
}

// What the window hands the compile: each file's bytes, and each page read
// with its text. Returns the processor time it took.
double prepare(const fs::path &folder, const std::vector<std::string> &listed)
{
    const double started = processorSeconds();
    quorlix::chm::PreparedContentWriter writer(folder / "prepared", 1);
    for (const std::string &name : listed) {
        std::ifstream in(folder / name, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const bool page = quorlix::html::isPageName(name);
        const quorlix::html::Page read =
            page ? quorlix::html::readPage(bytes, quorlix::html::PageParts::OutlineAndText) : quorlix::html::Page{};
        writer.add("/" + name, bytes, page ? &read : nullptr);
    }
    if (!writer.finish())
        fail("cannot write the prepared content");
    return processorSeconds() - started;
}

} // namespace

int main(int argc, char **argv)
{
    int files = 4000, rounds = 1;
    bool keep = false;
    std::string site;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--files" && i + 1 < argc)
            files = std::atoi(argv[++i]);
        else if (option == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (option == "--keep")
            keep = true;
        else if (option == "--site" && i + 1 < argc)
            site = argv[++i];
        else
            fail("usage: bench_compile [--files N | --site FOLDER] [--rounds R] [--keep]");
    }

    char pattern[] = "/tmp/bench_compile-XXXXXX";
    if (!mkdtemp(pattern))
        fail("cannot make a scratch folder");
    const fs::path folder = pattern;
    if (!site.empty()) {
        std::error_code error;
        fs::copy(site, folder / "site", fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
        if (error)
            fail("cannot copy " + site + ": " + error.message());
        // Debian links some of its documentation's files elsewhere: copies of them.
        for (const auto &entry : fs::recursive_directory_iterator(folder / "site"))
            if (entry.is_symlink() && fs::is_regular_file(entry.path())) {
                const fs::path target = fs::canonical(entry.path());
                fs::remove(entry.path());
                fs::copy_file(target, entry.path());
            }
    } else {
        const Run generated = runChild({"python3", QUORLIX_SOURCE_DIR "/bench/generate_site.py", "site", "--files",
                                        std::to_string(files)},
                                       folder, folder / "generate.log");
        if (generated.status != 0)
            fail("generate_site.py failed; see " + (folder / "generate.log").string());
    }

    std::vector<std::string> listed;
    std::uintmax_t siteBytes = 0;
    for (const auto &entry : fs::recursive_directory_iterator(folder / "site"))
        if (entry.is_regular_file()) {
            listed.push_back(fs::relative(entry.path(), folder).generic_string());
            siteBytes += entry.file_size();
            std::ifstream warm(entry.path(), std::ios::binary); // into the page cache
            std::vector<char> bytes(entry.file_size());
            warm.read(bytes.data(), std::streamsize(bytes.size()));
        }
    std::sort(listed.begin(), listed.end());
    const auto home = std::find(listed.begin(), listed.end(), "site/index.html");
    if (home != listed.end())
        std::rotate(listed.begin(), home, home + 1);
    writeProject(folder, "quorlix.chm", listed);
    writeProject(folder, "chmcmd.chm", listed);
    writeProject(folder, "prepared.chm", listed);
    std::printf("site: %zu files, %.1f MB, with contents, index and full-text search\n", listed.size(),
                megabytes(siteBytes));
    std::printf("preparing, as the window does during the download: %.2f s CPU\n", prepare(folder, listed));

    Run ours{}, theirs{}, prepared{};
    double oursTotal = 0, theirsTotal = 0, preparedTotal = 0;
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool oursNow = (turn == 0) == (round % 2 == 0);
            if (oursNow) {
                ours = runChild({QUORLIX_HHC, "quorlix.hhp"}, folder, folder / "quorlix.log");
                if (ours.status != 0)
                    fail("quorlix-hhc failed; see " + (folder / "quorlix.log").string());
                oursTotal += ours.seconds;
            } else {
                theirs = runChild({"chmcmd", "--no-html-scan", "chmcmd.hhp"}, folder, folder / "chmcmd.log");
                if (!fs::exists(folder / "chmcmd.chm"))
                    fail("chmcmd made no help file; see " + (folder / "chmcmd.log").string());
                theirsTotal += theirs.seconds;
            }
        }
        ::setenv("QUORLIX_HHC_PREPARED", (folder / "prepared").c_str(), 1);
        prepared = runChild({QUORLIX_HHC, "prepared.hhp"}, folder, folder / "prepared.log");
        ::unsetenv("QUORLIX_HHC_PREPARED");
        if (prepared.status != 0)
            fail("quorlix-hhc failed with prepared content; see " + (folder / "prepared.log").string());
        preparedTotal += prepared.seconds;
        std::printf("round %d: quorlix-hhc %.2f s (%.2f s CPU), with prepared content %.2f s (%.2f s CPU), "
                    "chmcmd %.2f s (%.2f s CPU)\n",
                    round + 1, ours.seconds, ours.cpuSeconds, prepared.seconds, prepared.cpuSeconds, theirs.seconds,
                    theirs.cpuSeconds);
    }
    const double oursSeconds = oursTotal / rounds, theirsSeconds = theirsTotal / rounds;
    const auto oursSize = fs::file_size(folder / "quorlix.chm");
    const auto theirsSize = fs::file_size(folder / "chmcmd.chm");
    std::printf("quorlix-hhc: %.2f s, %.2f MB, peak memory %.1f MB\n", oursSeconds, megabytes(oursSize),
                ours.peakKilobytes / 1024.0);
    std::printf("chmcmd:      %.2f s, %.2f MB, peak memory %.1f MB\n", theirsSeconds, megabytes(theirsSize),
                theirs.peakKilobytes / 1024.0);
    const double preparedSeconds = preparedTotal / rounds;
    const auto preparedSize = fs::file_size(folder / "prepared.chm");
    std::printf("quorlix-hhc with prepared content: %.2f s, %.2f MB, peak memory %.1f MB; %.2f of the time and "
                "%.4f of the size from scratch\n",
                preparedSeconds, megabytes(preparedSize), prepared.peakKilobytes / 1024.0,
                preparedSeconds / oursSeconds, double(preparedSize) / double(oursSize));
    std::printf("speed-up: %.1fx (chmcmd time / quorlix-hhc time); size: %.3f (quorlix-hhc / chmcmd)\n",
                theirsSeconds / oursSeconds, double(oursSize) / double(theirsSize));
    if (keep)
        std::printf("kept: %s\n", folder.c_str());
    else
        fs::remove_all(folder);
    return 0;
}
