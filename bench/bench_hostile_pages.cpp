// Pages made to cost a reader memory, through each program that reads
// pages: the downloader (quorlix-wget), the window's reading of the saved
// pages for the contents and index (pipeline::PageOutlines, run in a child
// of its own: this program with --read-pages), and the help compiler
// (quorlix-hhc, with full-text search). nginx serves each site on
// 127.0.0.1.
//
//   bench_hostile_pages [--sites LIST] [--work FOLDER] [--wget PROGRAM] [--hhc PROGRAM] [--reader PROGRAM]
//
// --sites: any of nested (six 15 MB pages of tables nested in tables),
//   large (one 60 MB page of them) and links (a page of 1,000,000 links
//   to anchors in another page); default all three.
// --work: keeps the generated sites there for the next run (default: a
//   scratch folder removed at the end).
// --wget, --hhc: the programs timed (default: this build's); --reader: the
//   program whose --read-pages is timed (default: this one). Another build's
//   give the figures from before a change.
//
// Prints, for each site and program, the time, peak memory (the child's
// largest resident set) and exit status.

#include "pipeline/PageOutlines.h"
#include "support/ChildRun.h"
#include "support/ListOption.h"
#include "tests/support/NginxServer.h"

#include <QCoreApplication>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;
using quorlix::bench::ChildRun;
using quorlix::bench::splitList;
using quorlix::test::NginxServer;

namespace {

[[noreturn]] void fail(const std::string &why)
{
    std::fprintf(stderr, "bench_hostile_pages: %s\n", why.c_str());
    std::exit(1);
}

// A page of tables nested in tables, size bytes long, with a title and a
// link at its end.
void writeNestedTables(const fs::path &file, const std::string &title, std::size_t size)
{
    std::ofstream out(file, std::ios::binary);
    out << "<!DOCTYPE html>\n<html><head><title>" << title << "</title></head><body>\n";
    const std::string cell = "<table><tr><td>";
    std::string block;
    for (int i = 0; i < 4096; ++i)
        block += cell;
    for (std::size_t written = 0; written < size; written += block.size())
        out << block;
    out << "<a href=\"end.html\">End</a></body></html>\n";
}

// The site's folder, generated when missing.
fs::path siteFolder(const std::string &site, const fs::path &work)
{
    const fs::path folder = work / ("site-" + site);
    if (fs::exists(folder / "index.html"))
        return folder;
    std::printf("generating the %s site in %s\n", site.c_str(), folder.c_str());
    std::fflush(stdout);
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::ofstream(folder / "end.html") << "<!DOCTYPE html>\n<html><head><title>End</title></head><body>"
                                          "<h1 id=\"a\">End</h1></body></html>\n";
    std::ofstream index(folder / "index.html", std::ios::binary);
    index << "<!DOCTYPE html>\n<html><head><title>Hostile " << site << "</title></head><body><ul>\n";
    if (site == "nested") {
        for (int i = 1; i <= 6; ++i) {
            const std::string name = "nested" + std::to_string(i) + ".html";
            writeNestedTables(folder / name, "Nested " + std::to_string(i), 15u << 20);
            index << "<li><a href=\"" << name << "\">" << name << "</a></li>\n";
        }
    } else if (site == "large") {
        writeNestedTables(folder / "large.html", "Large", 60u << 20);
        index << "<li><a href=\"large.html\">large.html</a></li>\n";
    } else if (site == "links") {
        for (int i = 0; i < 1000000; ++i)
            index << "<li><a href=\"end.html#a" << i << "\">Entry " << i << "</a></li>\n";
    } else {
        fail("unknown site " + site + " (nested, large or links)");
    }
    index << "</ul></body></html>\n";
    return folder;
}

std::vector<fs::path> savedFiles(const fs::path &folder)
{
    std::vector<fs::path> files;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error))
        if (it->is_regular_file())
            files.push_back(it->path());
    std::sort(files.begin(), files.end());
    return files;
}

// The window's reading of the saved pages, as it reads them while the
// download runs: each file handed in, all taken at the end.
int readPages(const fs::path &folder)
{
    quorlix::pipeline::PageOutlines outlines;
    outlines.start(QString::fromStdString(folder.string()));
    for (const fs::path &file : savedFiles(folder))
        outlines.add(QString::fromStdString(file.string()));
    const quorlix::pipeline::SavedPages pages = outlines.finish();
    std::size_t links = 0, headings = 0, titled = 0;
    for (const auto &page : pages) {
        links += page.links.size();
        headings += page.headings.size();
        titled += !page.title.empty();
    }
    std::printf("%lld pages read, %zu with a title, %zu links and %zu headings kept\n",
                static_cast<long long>(pages.size()), titled, links, headings);
    return 0;
}

void writeProject(const fs::path &folder, const std::vector<fs::path> &files)
{
    std::ofstream project(folder / "output.HHP");
    project << "[OPTIONS]\nCompiled file=output.chm\nFull-text search=Yes\nTitle=Hostile\n";
    for (const fs::path &file : files)
        if (file.extension() == ".html") {
            project << "Default topic=" << fs::relative(file, folder).string() << "\n";
            break;
        }
    project << "\n[FILES]\n";
    for (const fs::path &file : files)
        project << fs::relative(file, folder).string() << "\n";
}

void report(const char *what, const ChildRun &run)
{
    if (!run.started) {
        std::printf("  %-24s did not start\n", what);
        return;
    }
    std::printf("  %-24s %8.1f s %8.1f MB peak   exit %d\n", what, run.seconds, run.peakKilobytes / 1024.0, run.status);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "--read-pages") == 0)
        return readPages(argv[2]);
    QCoreApplication app(argc, argv);
    std::vector<std::string> sites = splitList("nested,large,links");
    std::string workOption;
    std::string wget = QUORLIX_BUILD_DIR "/mirror/quorlix-wget";
    std::string hhc = QUORLIX_BUILD_DIR "/chm/quorlix-hhc";
    std::string reader = fs::canonical("/proc/self/exe").string();
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--sites") == 0 && hasValue)
            sites = splitList(argv[++i]);
        else if (std::strcmp(argv[i], "--work") == 0 && hasValue)
            workOption = argv[++i];
        else if (std::strcmp(argv[i], "--wget") == 0 && hasValue)
            wget = argv[++i];
        else if (std::strcmp(argv[i], "--hhc") == 0 && hasValue)
            hhc = argv[++i];
        else if (std::strcmp(argv[i], "--reader") == 0 && hasValue)
            reader = argv[++i];
        else
            fail("usage: bench_hostile_pages [--sites nested,large,links] [--work FOLDER] [--wget PROGRAM] "
                 "[--hhc PROGRAM] [--reader PROGRAM]");
    }

    fs::path work;
    std::optional<fs::path> scratch;
    if (workOption.empty()) {
        char pattern[] = "/tmp/quorlix-hostile-XXXXXX";
        if (!::mkdtemp(pattern))
            fail("cannot make a scratch folder");
        work = pattern;
        scratch = work;
    } else {
        work = fs::absolute(workOption);
        fs::create_directories(work);
    }

    std::printf("downloader %s\nreader %s\ncompiler %s\n", wget.c_str(), reader.c_str(), hhc.c_str());
    for (const std::string &site : sites) {
        const fs::path root = siteFolder(site, work);
        NginxServer server(QString::fromStdString(root.string()), QString::fromStdString((work / "nginx").string()));
        if (!server.isListening())
            fail("nginx did not start: " + server.errorString().toStdString());
        const fs::path out = work / ("out-" + site);
        fs::remove_all(out);
        fs::create_directories(out);
        std::printf("%s:\n", site.c_str());
        report("quorlix-wget", quorlix::bench::runChild({wget, "-r", "-np", "-k", "-E", "-p",
                                                         "--restrict-file-names=windows", "--timeout=15", "--tries=3",
                                                         "-nv", "-P", out.string(), server.url().toStdString()},
                                                        work, work / ("wget-" + site + ".log")));
        report("window's page reading", quorlix::bench::runChild({reader, "--read-pages", out.string()}, work,
                                                                 work / ("read-" + site + ".log")));
        writeProject(out, savedFiles(out));
        report("quorlix-hhc",
               quorlix::bench::runChild({hhc, (out / "output.HHP").string()}, out, work / ("hhc-" + site + ".log")));
    }
    if (scratch)
        fs::remove_all(*scratch);
    return 0;
}
