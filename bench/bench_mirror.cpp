// Downloaders mirroring the same sites across a round trip: Quorlix's own
// quorlix-wget, GNU Wget with the options bin/wget gives it, and Debian's
// wget2 with eight threads. nginx serves each site on 127.0.0.1; a proxy of
// the bench's own holds each direction back by a given time, so that every
// request pays the round trip a real network would make it pay.
//
//   bench_mirror [--sites LIST] [--delays LIST] [--tools LIST] [--no-slow] [--after-last] [--work FOLDER]
//
// --sites: any of fixture (tests/fixtures/site), a number of files for a
//   generated site (bench/generate_site.py), and big (one page linking a
//   1 GiB file, for the downloaders' memory while they stream it to disk),
//   or a folder's absolute path, served as it is (such as Python's
//   documentation, /usr/share/doc/python3.11/html); default
//   fixture,4000,50000,big.
// --delays: milliseconds each way; 0 goes to nginx directly; default 0,25
//   (loopback and a 50 ms round trip).
// --tools: any of quorlix-wget, quorlix-end (quorlix-wget converting every
//   page at the end only, as it did before it converted them during the
//   crawl), wget, wget2; default quorlix-wget, wget, wget2. quorlix-wget is
//   $QUORLIX_WGET_BIN, else the build's mirror/quorlix-wget; a line says so
//   when there is none.
// --after-last: runs each quorlix-wget once more, reading its log and its
//   list of final files as they come, and prints the time from the last
//   saved file to its end, how many pages and sheets were converted during
//   the download and at the end, how many files were listed more than once
//   (converted again at the end), and files saved against files listed
//   final at ten moments of the run.
// --no-slow: leaves out GNU Wget on the 50,000-file site behind a delay (an
//   hour at a 50 ms round trip).
// --work: keeps the generated sites there for the next run (default: a
//   scratch folder removed at the end).
//
// Prints each run's time, files saved, peak memory (the child's largest
// resident set) and exit status, and the ratios quorlix-wget aims at.

#include "support/ChildRun.h"
#include "support/LatencyProxy.h"
#include "support/ListOption.h"
#include "tests/support/NginxServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;
using quorlix::bench::ChildRun;
using quorlix::bench::LatencyProxy;
using quorlix::bench::splitList;
using quorlix::test::NginxServer;

namespace {

[[noreturn]] void fail(const std::string &why)
{
    std::fprintf(stderr, "bench_mirror: %s\n", why.c_str());
    std::exit(1);
}

std::string quorlixWget()
{
    if (const char *chosen = std::getenv("QUORLIX_WGET_BIN"); chosen && *chosen)
        return chosen;
    return QUORLIX_BUILD_DIR "/mirror/quorlix-wget";
}

// The command each downloader is timed with, into folder.
std::vector<std::string> command(const std::string &tool, const std::string &url, const fs::path &folder)
{
    if (tool == "wget2")
        return {"wget2", "-r", "-np", "-l", "inf", "--max-threads=8", "-P", folder.string(), url};
    // GNU Wget with the stand-in's options, and quorlix-wget with the same.
    return {tool == "wget" ? "wget" : quorlixWget(),
            "-r", "-np", "-k", "-E", "-p", "--restrict-file-names=windows", "--timeout=15", "--tries=3", "-nv",
            "-P", folder.string(), url};
}

std::string toolName(const std::string &tool)
{
    if (tool == "quorlix-end")
        return "quorlix (end)";
    return tool == "wget" ? "GNU Wget" : tool;
}

bool isOurs(const std::string &tool)
{
    return tool == "quorlix-wget" || tool == "quorlix-end";
}

std::vector<std::string> environmentOf(const std::string &tool)
{
    if (tool == "quorlix-end")
        return {"QUORLIX_WGET_CONVERT_AT_END=1"};
    return {};
}

// quorlix-wget with its list of final files on its standard output, among
// the log's lines: each line's time as it comes.
void printAfterLast(const std::vector<std::string> &command, const std::string &tool, const fs::path &folder)
{
    QProcess process;
    process.setWorkingDirectory(QString::fromStdString(folder.string()));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUORLIX_FINAL_FILES"), QStringLiteral("/dev/stdout"));
    for (const std::string &word : environmentOf(tool)) {
        const std::size_t equals = word.find('=');
        environment.insert(QString::fromStdString(word.substr(0, equals)),
                           QString::fromStdString(word.substr(equals + 1)));
    }
    process.setProcessEnvironment(environment);
    QStringList arguments;
    for (std::size_t i = 1; i < command.size(); ++i)
        arguments << QString::fromStdString(command[i]);
    QElapsedTimer clock;
    clock.start();
    process.start(QString::fromStdString(command[0]), arguments);
    double lastSaved = 0;
    bool finished = false;
    int listedDuring = 0, listedAtEnd = 0, saved = 0;
    std::vector<double> savedAt, listedAt; // seconds
    std::map<QByteArray, int> listings;
    // Saved paths begin with the folder given to -P.
    const auto p = std::find(command.begin(), command.end(), "-P");
    const QByteArray prefix = p != command.end() && p + 1 != command.end() ? QByteArray::fromStdString(*(p + 1) + "/")
                                                                           : QByteArray();
    QByteArray pending;
    auto readLines = [&] {
        pending += process.readAllStandardOutput();
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1)) {
            const QByteArray line = pending.left(end);
            const double now = clock.elapsed() / 1000.0;
            if (line.startsWith("FINISHED --")) {
                finished = true;
            } else if (line.contains(" URL:") && line.contains("\" [1]")) {
                lastSaved = now;
                savedAt.push_back(now);
                ++saved;
            } else if (line.startsWith(prefix)) {
                // A line of the list: a saved file's path.
                listedAt.push_back(now);
                ++listings[line];
                // A page or sheet listed: converted (others are listed as they are saved).
                if (line.endsWith(".html") || line.endsWith(".css"))
                    ++(finished ? listedAtEnd : listedDuring);
            }
        }
    };
    while (process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(50);
        readLines();
    }
    readLines();
    const double end = clock.elapsed() / 1000.0;
    std::printf("    %s: %d files; from the last saved file to the end %.2f s; pages and sheets listed final "
                "during the download %d, at the end %d\n",
                toolName(tool).c_str(), saved, end - lastSaved, listedDuring, listedAtEnd);
    int twice = 0;
    for (const auto &[file, count] : listings)
        twice += count > 1;
    std::printf("    files listed more than once: %d of %zu\n", twice, listings.size());
    // Saved files against files listed final, ten times along the run.
    std::printf("    seconds: saved/listed final:");
    for (int step = 1; step <= 10; ++step) {
        const double at = end * step / 10;
        const auto upTo = [at](const std::vector<double> &times) {
            return std::upper_bound(times.begin(), times.end(), at) - times.begin();
        };
        std::printf(" %.2f: %td/%td", at, upTo(savedAt), upTo(listedAt));
    }
    std::printf("\n");
}

std::size_t countFiles(const fs::path &folder)
{
    std::size_t files = 0;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error))
        files += it->is_regular_file();
    return files;
}

// The folder served for a site's name, made when missing.
fs::path siteFolder(const std::string &site, const fs::path &work)
{
    if (site == "fixture")
        return QUORLIX_SOURCE_DIR "/tests/fixtures/site";
    if (!site.empty() && site.front() == '/') {
        if (!fs::exists(fs::path(site) / "index.html"))
            fail("no index.html in " + site);
        return site;
    }
    if (site == "big") {
        const fs::path folder = work / "site-big";
        fs::create_directories(folder);
        std::ofstream(folder / "index.html")
            << "<!DOCTYPE html>\n<html><head><title>Big</title></head>\n"
               "<body><p><a href=\"big.bin\">One gibibyte</a></p></body></html>\n";
        // Sparse: nginx serves its zeros without the disk holding them.
        fs::resize_file((std::ofstream(folder / "big.bin"), folder / "big.bin"), std::uintmax_t(1) << 30);
        return folder;
    }
    const int files = std::atoi(site.c_str());
    if (files <= 0)
        fail("unknown site " + site + " (fixture, big, a number of files or a folder's absolute path)");
    const fs::path folder = work / ("site-" + site);
    if (!fs::exists(folder / "index.html")) {
        std::printf("generating a site of %d files in %s\n", files, folder.c_str());
        std::fflush(stdout);
        fs::remove_all(folder);
        const ChildRun made = quorlix::bench::runChild(
            {"python3", QUORLIX_SOURCE_DIR "/bench/generate_site.py", folder.string(), "--files", site}, work,
            work / "generate.log");
        if (made.status != 0)
            fail("generate_site.py failed; see " + (work / "generate.log").string());
    }
    return folder;
}

// A folder's site is named by its last two folders ("python3.11/html").
std::string siteLabel(const std::string &site)
{
    if (site.empty() || site.front() != '/')
        return site;
    const fs::path path(site);
    return (path.parent_path().filename() / path.filename()).string();
}

void printRatio(const char *what, double ratio, const char *aim)
{
    std::printf("    %-40s %8.2f   (%s)\n", what, ratio, aim);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::vector<std::string> sites = splitList("fixture,4000,50000,big");
    std::vector<std::string> delays = splitList("0,25");
    std::vector<std::string> tools = splitList("quorlix-wget,wget,wget2");
    bool noSlow = false;
    bool afterLast = false;
    std::string workOption;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--sites") == 0 && hasValue)
            sites = splitList(argv[++i]);
        else if (std::strcmp(argv[i], "--delays") == 0 && hasValue)
            delays = splitList(argv[++i]);
        else if (std::strcmp(argv[i], "--tools") == 0 && hasValue)
            tools = splitList(argv[++i]);
        else if (std::strcmp(argv[i], "--no-slow") == 0)
            noSlow = true;
        else if (std::strcmp(argv[i], "--after-last") == 0)
            afterLast = true;
        else if (std::strcmp(argv[i], "--work") == 0 && hasValue)
            workOption = argv[++i];
        else
            fail("usage: bench_mirror [--sites fixture,4000,50000,big] [--delays 0,25] "
                 "[--tools quorlix-wget,quorlix-end,wget,wget2] [--no-slow] [--after-last] [--work FOLDER]");
    }
    for (const std::string &tool : tools)
        if (!isOurs(tool) && tool != "wget" && tool != "wget2")
            fail("unknown tool " + tool);

    fs::path work;
    std::optional<fs::path> scratch;
    if (workOption.empty()) {
        std::string pattern = (fs::temp_directory_path() / "bench_mirror-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            fail("no scratch folder");
        work = pattern;
        scratch = work;
    } else {
        work = fs::absolute(workOption);
        fs::create_directories(work);
    }
    const bool haveOurs = ::access(quorlixWget().c_str(), X_OK) == 0;
    if (!haveOurs)
        std::printf("quorlix-wget: not found at %s (set QUORLIX_WGET_BIN or build the target quorlix-wget): "
                    "skipped\n",
                    quorlixWget().c_str());

    std::printf("%-8s %-6s %-13s %10s %8s %10s %6s\n", "site", "RTT ms", "downloader", "seconds", "files", "peak MB",
                "exit");
    for (const std::string &site : sites) {
        const fs::path root = siteFolder(site, work);
        const std::string name = siteLabel(site);
        NginxServer server(QString::fromStdString(root.string()), QString::fromStdString((work / "nginx").string()));
        if (!server.isListening())
            fail("nginx did not start: " + server.errorString().toStdString());
        for (const std::string &delay : delays) {
            const int delayMs = std::atoi(delay.c_str());
            std::unique_ptr<LatencyProxy> proxy;
            std::uint16_t port = server.port();
            if (delayMs > 0) {
                proxy = std::make_unique<LatencyProxy>(server.port(), delayMs);
                port = proxy->port();
            }
            const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
            std::map<std::string, double> seconds;
            for (const std::string &tool : tools) {
                const std::string label = toolName(tool);
                if (isOurs(tool) && !haveOurs)
                    continue;
                if (tool == "wget" && noSlow && delayMs > 0 && std::atoi(site.c_str()) >= 50000) {
                    std::printf("%-8s %-6d %-13s skipped (--no-slow)\n", name.c_str(), 2 * delayMs, label.c_str());
                    continue;
                }
                const fs::path out = work / "mirror";
                fs::remove_all(out);
                fs::create_directories(out);
                const ChildRun run = quorlix::bench::runChild(command(tool, url, out), work, work / "mirror.log",
                                                              environmentOf(tool));
                if (!run.started) {
                    std::printf("%-8s %-6d %-13s not started (not installed?)\n", name.c_str(), 2 * delayMs,
                                label.c_str());
                    continue;
                }
                std::printf("%-8s %-6d %-13s %10.2f %8zu %10.1f %6d\n", name.c_str(), 2 * delayMs, label.c_str(),
                            run.seconds, countFiles(out), run.peakKilobytes / 1024.0, run.status);
                std::fflush(stdout);
                seconds[tool] = run.seconds;
                fs::remove_all(out);
                if (afterLast && isOurs(tool)) {
                    fs::create_directories(out);
                    printAfterLast(command(tool, url, out), tool, work);
                    std::fflush(stdout);
                    fs::remove_all(out);
                }
            }
            const auto has = [&](const char *tool) { return seconds.count(tool) != 0; };
            if (has("quorlix-wget") && has("wget") && delayMs > 0)
                printRatio("GNU Wget's time / quorlix-wget's:", seconds["wget"] / seconds["quorlix-wget"],
                           "aim: at least 8");
            if (has("quorlix-wget") && has("wget") && delayMs == 0)
                printRatio("quorlix-wget's time / GNU Wget's:", seconds["quorlix-wget"] / seconds["wget"],
                           "aim: at most 1");
            if (has("quorlix-wget") && has("wget2"))
                printRatio("quorlix-wget's time / wget2's:", seconds["quorlix-wget"] / seconds["wget2"],
                           delayMs > 0 ? "aim: at most 1.2" : "for comparison");
            if (has("wget") && has("wget2"))
                printRatio("GNU Wget's time / wget2's:", seconds["wget"] / seconds["wget2"], "for comparison");
        }
    }
    std::printf("aim for quorlix-wget's peak memory: at most 64 MB on the 50,000-file site\n");
    if (scratch)
        fs::remove_all(*scratch);
    return 0;
}
