// A whole conversion through the window against the bare tools doing the
// same job by hand, on the same site served by nginx on 127.0.0.1, measured
// in the same run.
//
//   bench_conversion [--files N | --single-page-mb MB | --site FOLDER] [--rounds R] [--delay-ms MS] [--links]
//                    [--bare-chmcmd]
//
// The site is generated (about N files, default 4000), or one page of about
// MB megabytes among 70 small ones (a large API reference), or an existing
// folder such as Debian's Python documentation
// (--site /usr/share/doc/python3.11/html). nginx serves it on a private
// configuration: Python's http.server drops reused connections, which would
// time the server instead of the program.
//
// Window: the address and output folder set, "Execute" clicked, offscreen,
// with recorded dialogs so no viewer starts; timed from Execute to the
// viewer (download, reading the pages, contents and index, compile, the
// point where the viewer is started); the help file's check that follows
// it, until the window is ready again, is printed on its own. It runs in a process of its own, whose
// peak memory is printed: the window's alone, not its children's. Each round
// also prints the window's conversion stage by stage: the download, then
// each step after the last file (the page reader's last pages, the contents,
// the index, the project, the compile, the viewer's start). The window says nothing of its stages; the bench sees them
// from outside: the runners' output (each ends with the child's end of output), the times the project files were
// created and renamed into place, and the viewer's start, which a stand-in takes (the program `true`, started as the
// desktop's opener is).
// Bare tools: the downloader stand-in (Wget with its options) with the same
// arguments; then, as a small script would, the saved pages read one after
// another and the same project, contents and index files written; then the
// help compiler. Rounds alternate which side goes first; an untimed bare
// conversion first warms the caches. Prints each side's times, the figures
// of the help file, and the ratio window / bare tools. --links also counts
// the links between saved files that resolve inside the bare side's help
// file (tools/measure-links). --bare-chmcmd has the bare tools compile with
// chmcmd, the help compiler Quorlix used before its own, while the window
// keeps its own. --delay-ms puts a proxy in front of nginx that holds each
// direction back that long (25 gives a 50 ms round trip), and the whole
// conversion in the window is also set against GNU Wget's download alone
// (timed once more each round, picked by QUORLIX_WGET=wget; the window and
// the bare tools use whatever bin/wget runs by default).

#include "app/MainWindow.h"
#include "html/HugePageHeap.h"
#include "html/PageReader.h"
#include "pipeline/ContentsFile.h"
#include "pipeline/DownloadCommand.h"
#include "pipeline/HelpProject.h"
#include "pipeline/IndexFile.h"
#include "pipeline/PathJoin.h"
#include "pipeline/SavedFileFeed.h"
#include "pipeline/SavedFileLine.h"
#include "pipeline/SavedFileLog.h"
#include "runtime/Runtime.h"
#include "support/LatencyProxy.h"
#include "tests/support/NginxServer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using quorlix::MainWindow;
using quorlix::bench::LatencyProxy;
namespace pipeline = quorlix::pipeline;
using quorlix::test::NginxServer;

namespace {

const QString kSource = QStringLiteral(QUORLIX_SOURCE_DIR);

// The window's conversion stage by stage: when each step ended, in seconds
// since Execute.
struct Stages {
    double downloadEnd = 0;   // the downloader's end of output
    double contentsStart = 0; // output.hhc created, under its temporary name
    double contentsEnd = 0;   // output.hhc renamed into place
    double indexEnd = 0;      // output.hhk renamed into place
    double projectEnd = 0;    // output.HHP renamed into place
    double compileEnd = 0;    // the compiler's end of output
    double viewerCalled = 0;  // the viewer is asked for
    double viewerStarted = 0; // its opener runs: the end of Execute to the viewer
    double end = 0;           // the help file is read back, the window is ready again
    double logScan = 0;       // re-timed after the run: the saved files read from the pane's log
    double downloadCpu = 0;   // the window's processor time (all its threads) until the download's end
    double totalCpu = 0;      // ... until the window is ready again
    double preparedFiles = 0; // files the compile took as compressed during the download
    double listedFiles = 0;   // ... of the files it listed
};

struct Timing {
    double downloadSeconds = 0;
    double projectSeconds = 0; // after the download, before the compile
    double totalSeconds = 0;
    long peakKilobytes = 0; // the window's process alone, not the programs it starts
    Stages stages;
};

struct Figures {
    qsizetype files = 0;
    qsizetype topics = 0;
    qsizetype keywords = 0;
    qint64 size = 0;
};

[[noreturn]] void fail(const QString &why)
{
    std::fprintf(stderr, "bench_conversion: %s\n", qPrintable(why));
    std::exit(1);
}

QStringList downloadArguments(const QString &folder, const QString &address)
{
    return {QStringLiteral("-U"),  QString::fromLatin1(pipeline::kUserAgent), QStringLiteral("-r"),
            QStringLiteral("-nv"), QStringLiteral("-np"), QStringLiteral("--random-wait"),
            QStringLiteral("-P"),  folder, address};
}

bool bareChmcmd = false;

// Runs a program to its end; its output goes to outputFile.
void runTool(const QString &program, const QStringList &arguments, const QString &workingDir,
             const QString &outputFile, const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess tool;
    tool.setProcessEnvironment(environment);
    tool.setWorkingDirectory(workingDir);
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.setStandardOutputFile(outputFile);
    tool.start(program, arguments);
    if (!tool.waitForStarted(-1) || !tool.waitForFinished(-1))
        fail(program + QStringLiteral(" did not run: ") + tool.errorString());
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read ") + path);
    return file.readAll();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        fail(QStringLiteral("cannot write ") + path);
}

void requireFile(const QString &path)
{
    if (QFileInfo(path).size() <= 0)
        fail(QStringLiteral("not made: ") + path);
}

// The system's clock, as coarse as the one files are stamped with, so that
// the bench's times and the files' times can be set side by side.
double now()
{
    timespec time{};
    clock_gettime(CLOCK_REALTIME_COARSE, &time);
    return double(time.tv_sec) + time.tv_nsec / 1e9;
}

// The processor time this process has used, all its threads together.
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double seconds(const statx_timestamp &time)
{
    return double(time.tv_sec) + time.tv_nsec / 1e9;
}

// When the file was created and when it was last renamed or changed.
std::pair<double, double> createdAndChanged(const QString &path)
{
    struct statx info{};
    if (statx(AT_FDCWD, QFile::encodeName(path).constData(), 0, STATX_BTIME | STATX_CTIME, &info) != 0)
        fail(QStringLiteral("cannot read the times of ") + path);
    if (!(info.stx_mask & STATX_BTIME))
        fail(QStringLiteral("the file system keeps no creation times: ") + path);
    return {seconds(info.stx_btime), seconds(info.stx_ctime)};
}

// Stands in for the boxes and the desktop while the window converts: boxes
// are remembered; the viewer's opener is started as the desktop's is, with
// the program `true` in its place, and timed.
class BenchDialogs final : public quorlix::runtime::Dialogs {
public:
    BenchDialogs() { quorlix::runtime::setDialogs(this); }
    ~BenchDialogs() override { quorlix::runtime::setDialogs(nullptr); }
    BenchDialogs(const BenchDialogs &) = delete;
    BenchDialogs &operator=(const BenchDialogs &) = delete;

    void messageBox(const QString &text, quorlix::runtime::MsgIcon icon, const QString &) override
    {
        if (icon == quorlix::runtime::MsgIcon::Stop)
            stops << text;
    }
    std::optional<QString> browseForFolder(const QString &, const QString &) override { return std::nullopt; }
    bool shellRun(const QString &, const QStringList &) override
    {
        viewerCalled = now();
        QProcess opener;
        opener.setStandardInputFile(QProcess::nullDevice());
        opener.setStandardOutputFile(QProcess::nullDevice());
        opener.start(QStringLiteral("true"), {});
        const bool started = opener.waitForStarted();
        viewerStarted = now();
        opener.waitForFinished();
        return started;
    }
    void endProgram(int) override {}

    QStringList stops;
    double viewerCalled = 0;
    double viewerStarted = 0;
};

// How long the window takes to pick the saved files out of its log once
// the download has ended, timed again on the log it holds.
double timeLogScan(const MainWindow &window, const QString &folder)
{
    const QStringList lines = window.outputsText().split(QLatin1Char('\n'));
    QElapsedTimer clock;
    clock.start();
    pipeline::SavedFileLine saved(folder);
    QStringList files;
    for (const QString &line : lines)
        if (QString path = saved.savedFile(line); !path.isEmpty())
            files << std::move(path);
    files = pipeline::ProjectFileList(std::move(files), folder);
    return clock.nsecsElapsed() / 1e9;
}

Timing convertThroughWindow(const QString &folder, const QString &address, BenchDialogs &dialogs)
{
    MainWindow window;
    window.Label2->setText(folder);
    window.txtCommand->setText(address);
    // Shown, as for a user: a hidden pane would skip laying out the log.
    window.show();
    QCoreApplication::processEvents();
    dialogs.stops.clear();

    // Each runner's last chunk is the one at its child's end of output. The
    // compiler's runner is made when the compile starts, which the pane
    // shows with a line of its own.
    Stages stages;
    double start = 0;
    double startCpu = 0;
    // The processor time only at the last chunk, the empty one: a system
    // call for each of a large log's chunks would be counted as the window's.
    QObject::connect(window.objDOS.get(), &quorlix::process::DOSOutputs::ReceiveOutputs, &window, [&](QString &chunk) {
        stages.downloadEnd = now() - start;
        if (chunk.isEmpty())
            stages.downloadCpu = cpuSeconds() - startCpu;
    });
    const quorlix::process::DOSOutputs *compiler = nullptr;
    QObject::connect(window.txtOutputs, &QPlainTextEdit::textChanged, &window, [&] {
        if (!window.hccDOS || window.hccDOS.get() == compiler)
            return;
        compiler = window.hccDOS.get();
        QObject::connect(compiler, &quorlix::process::DOSOutputs::ReceiveOutputs, &window,
                         [&](QString &) { stages.compileEnd = now() - start; });
    });
    start = now();
    startCpu = cpuSeconds();
    window.cmdExecute->click();
    // The click returns when the conversion is over, or sooner if work goes
    // on in the background; either way it ends with the caption restored.
    while (window.cmdExecute->text() != QStringLiteral("Execute"))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    stages.end = now() - start;
    stages.totalCpu = cpuSeconds() - startCpu;

    for (const QString &stop : std::as_const(dialogs.stops))
        fail(QStringLiteral("the window said: ") + stop);
    requireFile(folder + QStringLiteral("/output.chm"));
    const auto [contentsStart, contentsEnd] = createdAndChanged(
        pipeline::BuildPath(folder, QString::fromLatin1(pipeline::kContentsFileName)));
    stages.contentsStart = contentsStart - start;
    stages.contentsEnd = contentsEnd - start;
    stages.indexEnd =
        createdAndChanged(pipeline::BuildPath(folder, QString::fromLatin1(pipeline::kIndexFileName))).second - start;
    stages.projectEnd =
        createdAndChanged(pipeline::BuildPath(folder, QString::fromLatin1(pipeline::kProjectFileName))).second - start;
    stages.viewerCalled = dialogs.viewerCalled - start;
    stages.viewerStarted = dialogs.viewerStarted - start;
    stages.logScan = timeLogScan(window, folder);
    static const QRegularExpression prepared(
        QStringLiteral("\\n  (\\d+) of (\\d+) files were compressed while they downloaded\\n"));
    if (const QRegularExpressionMatch match = prepared.match(window.outputsText()); match.hasMatch()) {
        stages.preparedFiles = match.captured(1).toDouble();
        stages.listedFiles = match.captured(2).toDouble();
    }
    return {stages.downloadEnd, 0, stages.viewerStarted, 0, stages};
}

// The downloader stand-in with the window's arguments, its output into log;
// gnuWget picks GNU Wget by name, whatever the stand-in runs by default.
void runDownload(const QString &folder, const QString &address, const QString &log, bool gnuWget = false)
{
    QDir().mkpath(folder);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (gnuWget)
        environment.insert(QStringLiteral("QUORLIX_WGET"), QStringLiteral("wget"));
    runTool(QStringLiteral("sh"),
            QStringList{QStringLiteral("-c"), QStringLiteral("\"$0\" \"$@\" 2>&1 | cat"), kSource + QStringLiteral("/bin/wget")}
                + downloadArguments(folder, address),
            folder, log, environment);
}

// GNU Wget's download alone, the reference for a whole conversion across a
// round trip.
double timeGnuWget(const QString &folder, const QString &address)
{
    QElapsedTimer clock;
    clock.start();
    runDownload(folder, address, folder + QStringLiteral(".log"), true);
    return clock.nsecsElapsed() / 1e9;
}

// wget2's download alone with 8 threads (as bench_mirror runs it), the
// reference the whole conversion is set against across a round trip.
double timeWget2(const QString &folder, const QString &address)
{
    QDir().mkpath(folder);
    QElapsedTimer clock;
    clock.start();
    runTool(QStringLiteral("wget2"),
            {QStringLiteral("-r"), QStringLiteral("-np"), QStringLiteral("-l"), QStringLiteral("inf"),
             QStringLiteral("--max-threads=8"), QStringLiteral("-P"), folder, address},
            folder, folder + QStringLiteral(".log"));
    return clock.nsecsElapsed() / 1e9;
}

// The bare tools, and what a small script does between them.
Timing convertWithBareTools(const QString &folder, const QString &address, Figures *figures = nullptr)
{
    QDir().mkpath(folder);
    const QString log = folder + QStringLiteral(".log");
    QElapsedTimer clock;
    clock.start();
    // Timed to the end of its output, as the window times it: the stand-in
    // rewrites some links after Wget has ended, holding the output open.
    runDownload(folder, address, log);
    const double download = clock.nsecsElapsed() / 1e9;

    pipeline::SavedFileFeed savedFiles;
    savedFiles.reset(folder);
    const QStringList files = pipeline::ProjectFileList(
        savedFiles.add(QString::fromLocal8Bit(readBytes(log)) + QLatin1Char('\n')), folder);
    if (files.isEmpty())
        fail(QStringLiteral("the bare download saved nothing; see ") + log);
    pipeline::SavedPages pages;
    for (const QString &file : files) {
        if (!quorlix::html::isPageName(QFile::encodeName(file).toStdString()))
            continue;
        const QByteArray bytes = readBytes(pipeline::BuildPath(folder, file));
        pages.insert(file, quorlix::html::readPage(std::string_view(bytes.constData(), size_t(bytes.size()))));
    }
    const pipeline::ContentsFile contents = pipeline::MakeContentsFile(files, pages);
    const pipeline::IndexFile index = pipeline::MakeIndexFile(files, pages);
    writeBytes(pipeline::BuildPath(folder, QString::fromLatin1(pipeline::kContentsFileName)), contents.bytes);
    writeBytes(pipeline::BuildPath(folder, QString::fromLatin1(pipeline::kIndexFileName)), index.bytes);
    const QString project = pipeline::BuildPath(folder, QString::fromLatin1(pipeline::kProjectFileName));
    const QString failure = pipeline::WriteProjectFile(
        project, pipeline::HelpProjectBytes(pipeline::BuildPath(folder, QString::fromLatin1(pipeline::kCompiledFileName)),
                                            files));
    if (!failure.isEmpty())
        fail(failure);
    const double projectDone = clock.nsecsElapsed() / 1e9;

    QProcessEnvironment compilerEnvironment = QProcessEnvironment::systemEnvironment();
    if (bareChmcmd)
        compilerEnvironment.insert(QStringLiteral("QUORLIX_HHC"), QStringLiteral("chmcmd"));
    runTool(kSource + QStringLiteral("/bin/hhc"), {project}, folder, folder + QStringLiteral(".hhc.log"),
            compilerEnvironment);
    const QString compiled = folder + QStringLiteral("/output.chm");
    requireFile(compiled);
    if (figures)
        *figures = {files.size(), contents.topics, index.keywords, QFileInfo(compiled).size()};
    return {download, projectDone - download, clock.nsecsElapsed() / 1e9, 0, {}};
}

// The window's conversion runs in a process of its own (this program again,
// with --window-child), so that its peak memory is the window's alone.
Timing convertInWindowProcess(const QString &folder, const QString &address)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--window-child"), address, folder});
    if (!child.waitForStarted(-1) || !child.waitForFinished(-1) || child.exitCode() != 0)
        fail(QStringLiteral("the window's conversion failed"));
    Stages stages;
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() == 4 && words[0] == "window-result")
            return {words[1].toDouble(), 0, words[2].toDouble(), words[3].toLong(), stages};
        if (words.size() == 15 && words[0] == "window-stages")
            stages = {words[1].toDouble(),  words[2].toDouble(),  words[3].toDouble(),  words[4].toDouble(),
                      words[5].toDouble(),  words[6].toDouble(),  words[7].toDouble(),  words[8].toDouble(),
                      words[9].toDouble(),  words[10].toDouble(), words[11].toDouble(), words[12].toDouble(),
                      words[13].toDouble(), words[14].toDouble()};
    }
    fail(QStringLiteral("the window's conversion gave no result"));
}

// The process's own peak resident size since it was started. Not
// getrusage's: its peak counts the copy of the bench this process was
// forked as, before it became the window (on a 50,000-file site, 20 MB
// more than the window ever held).
long peakKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

int windowChild(const QString &address, const QString &folder)
{
    QDir::setCurrent(kSource);
    BenchDialogs dialogs;
    const Timing timing = convertThroughWindow(folder, address, dialogs);
    const Stages &s = timing.stages;
    // Stages first: the result line ends the parent's reading.
    std::printf("window-stages %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.0f %.0f\n",
                s.downloadEnd, s.contentsStart, s.contentsEnd, s.indexEnd, s.projectEnd, s.compileEnd, s.viewerCalled,
                s.viewerStarted, s.end, s.logScan, s.downloadCpu, s.totalCpu, s.preparedFiles, s.listedFiles);
    std::printf("window-result %.3f %.3f %ld\n", timing.downloadSeconds, timing.totalSeconds, peakKilobytes());
    return 0;
}

// The window's conversion stage by stage: each stage's seconds and its share
// of the time after the last file.
void printStages(int round, const Stages &s)
{
    struct Row {
        const char *name;
        double from;
        double to;
    };
    const Row rows[] = {
        {"download (Execute to the downloader's end)", 0, s.downloadEnd},
        {"saved files from the log, last pages read", s.downloadEnd, s.contentsStart},
        {"contents written (output.hhc)", s.contentsStart, s.contentsEnd},
        {"index written (output.hhk)", s.contentsEnd, s.indexEnd},
        {"project written (output.HHP)", s.indexEnd, s.projectEnd},
        {"compile (bin/hhc, to its end of output)", s.projectEnd, s.compileEnd},
        {"viewer started (stand-in opener)", s.compileEnd, s.viewerStarted},
    };
    const double after = s.viewerStarted - s.downloadEnd;
    std::printf("%-6d the window stage by stage %22s %8s\n", round, "s", "share");
    for (const Row &row : rows) {
        std::printf("%-6d   %-44s %8.2f", round, row.name, row.to - row.from);
        if (row.from > 0 && after > 0)
            std::printf(" %7.0f%%", 100 * (row.to - row.from) / after);
        std::printf("\n");
    }
    std::printf("%-6d   %-44s %8.2f %7.0f%%\n", round, "after the last file, to the viewer", after, 100.0);
    std::printf("%-6d   %-44s %8.2f\n", round, "then help file checked, window ready again", s.end - s.viewerStarted);
    std::printf("%-6d   (of which reading the saved files from the log, timed again after the run: %.2f s)\n", round,
                s.logScan);
    // A window busy for most of the download holds the downloader back.
    std::printf("%-6d   the window's processor time (all its threads): %.2f s in the download, %.2f s after it\n",
                round, s.downloadCpu, s.totalCpu - s.downloadCpu);
    std::printf("%-6d   files the compile took as compressed during the download: %.0f of %.0f\n", round,
                s.preparedFiles, s.listedFiles);
}

// A large API reference: a home page, a style sheet, 68 small module pages
// and one page of about `megabytes` MB that documents every function, each
// entry with an anchor and links into a module page, under a heading every
// 200 entries.
void writeSinglePageSite(const QString &root, double megabytes)
{
    constexpr int kModules = 68;
    QDir().mkpath(root);
    const auto head = [](const QByteArray &title) {
        return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title
               + "</title>\n<link rel=\"stylesheet\" href=\"style.css\"></head>\n<body>\n<h1>" + title + "</h1>\n";
    };
    const QByteArray tail = "</body></html>\n";
    writeBytes(root + QStringLiteral("/style.css"), "body { font-family: sans-serif; }\ndt { font-weight: bold; }\n");

    QByteArray home = head("API reference") + "<ul>\n<li><a href=\"all.html\">All functions</a></li>\n";
    for (int module = 0; module < kModules; ++module) {
        const QByteArray name = QByteArray::number(module);
        home += "<li><a href=\"module" + name + ".html\">Module " + name + "</a></li>\n";
        QByteArray page = head("Module " + name) + "<p><a href=\"index.html\">Home</a></p>\n";
        for (const char *part : {"usage", "examples", "notes"})
            page += QByteArray("<h2 id=\"") + part + "\">" + part + "</h2>\n<p>Module " + name
                    + " and how to use it; see <a href=\"all.html#m" + name + ".f" + name + "\">its first function</a>."
                    + "</p>\n";
        writeBytes(root + QStringLiteral("/module%1.html").arg(module), page + tail);
    }
    writeBytes(root + QStringLiteral("/index.html"), home + "</ul>\n" + tail);

    QByteArray all = head("All functions");
    const qsizetype size = qsizetype(megabytes * 1e6);
    for (int entry = 0; all.size() < size; ++entry) {
        const QByteArray module = QByteArray::number(entry % kModules);
        const QByteArray id = "m" + module + ".f" + QByteArray::number(entry);
        if (entry % 200 == 0)
            all += "<h2 id=\"group" + QByteArray::number(entry / 200) + "\">Functions " + QByteArray::number(entry)
                   + " and on</h2>\n";
        all += "<dl><dt id=\"" + id + "\"><code>module" + module + ".function" + QByteArray::number(entry)
               + "</code>(<em>value</em>, <em>flags=0</em>)<a href=\"#" + id
               + "\">&para;</a></dt>\n<dd><p>Returns the value after the flags are applied; raises an error when "
                 "the value is out of range. See <a href=\"module"
               + module + ".html#usage\">module " + module + "</a>.</p></dd></dl>\n";
    }
    writeBytes(root + QStringLiteral("/all.html"), all + tail);
}

// The files a project lists, without its options (which name its folder).
QStringList listedFiles(const QString &folder)
{
    const QString project = QString::fromLocal8Bit(
        readBytes(pipeline::BuildPath(folder, QString::fromLatin1(pipeline::kProjectFileName))));
    return project.section(QStringLiteral("[FILES]\r\n"), 1).split(QStringLiteral("\r\n"));
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window starts as the program's own start-up starts it.
    if (argc == 4 && std::strcmp(argv[1], "--window-child") == 0)
        quorlix::html::restartWithHugePageHeap(argv);
    QApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--window-child") == 0)
        return windowChild(QString::fromLocal8Bit(argv[2]), QFile::decodeName(argv[3]));

    int files = 4000;
    int rounds = 2;
    int delayMs = 0;
    double singlePageMegabytes = 0;
    QString site;
    bool links = false;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--files") == 0 && hasValue)
            files = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--rounds") == 0 && hasValue)
            rounds = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--single-page-mb") == 0 && hasValue)
            singlePageMegabytes = std::atof(argv[++i]);
        else if (std::strcmp(argv[i], "--site") == 0 && hasValue)
            site = QFile::decodeName(argv[++i]);
        else if (std::strcmp(argv[i], "--delay-ms") == 0 && hasValue)
            delayMs = std::max(0, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--links") == 0)
            links = true;
        else if (std::strcmp(argv[i], "--bare-chmcmd") == 0)
            bareChmcmd = true;
        else
            fail(
                QStringLiteral("usage: bench_conversion [--files N | --single-page-mb MB | --site FOLDER] [--rounds R] "
                               "[--delay-ms MS] [--links] [--bare-chmcmd]"));
    }

    QTemporaryDir temp;
    if (!temp.isValid())
        fail(QStringLiteral("no temporary folder"));
    if (site.isEmpty() && singlePageMegabytes > 0) {
        site = temp.filePath(QStringLiteral("site"));
        writeSinglePageSite(site, singlePageMegabytes);
    } else if (site.isEmpty()) {
        site = temp.filePath(QStringLiteral("site"));
        runTool(QStringLiteral("python3"),
                {kSource + QStringLiteral("/bench/generate_site.py"), site, QStringLiteral("--files"),
                 QString::number(files)},
                temp.path(), temp.filePath(QStringLiteral("generate.log")));
    }

    NginxServer server(site, temp.filePath(QStringLiteral("nginx")));
    if (!server.isListening())
        fail(server.errorString());
    std::unique_ptr<LatencyProxy> proxy;
    QString address = server.url();
    if (delayMs > 0) {
        proxy = std::make_unique<LatencyProxy>(server.port(), delayMs);
        address = QStringLiteral("http://127.0.0.1:%1/").arg(proxy->port());
    }
    // The bare tools start bin/wget and bin/hhc from the checkout.
    QDir::setCurrent(kSource);

    // The warm-up goes straight to nginx: it only reads the site into the
    // caches and gives the help file's figures.
    Figures figures;
    const QString warmUp = temp.filePath(QStringLiteral("warm-up"));
    convertWithBareTools(warmUp, server.url(), &figures);

    std::vector<double> ratios;
    std::vector<double> downloadRatios, wget2Ratios;
    long windowPeak = 0;
    std::printf("site: %s, served by nginx at %s", qPrintable(site), qPrintable(server.url()));
    if (proxy)
        std::printf(", through a proxy at %s that delays each way by %d ms (a %d ms round trip)", qPrintable(address),
                    delayMs, 2 * delayMs);
    std::printf("\nhelp file: %lld files, %lld topics, %lld index keywords, %.1f MB\n",
                static_cast<long long>(figures.files), static_cast<long long>(figures.topics),
                static_cast<long long>(figures.keywords), figures.size / 1e6);
    if (links) {
        std::fflush(stdout);
        QProcess measure;
        measure.setProcessChannelMode(QProcess::ForwardedChannels);
        measure.start(kSource + QStringLiteral("/tools/measure-links"),
                      {QStringLiteral("--show"), QStringLiteral("5"), QStringLiteral("--chm"),
                       warmUp + QStringLiteral("/output.chm")});
        measure.waitForFinished(-1);
    }
    std::printf("%-6s %-12s %12s %12s %12s %12s %12s\n", "round", "side", "download s", "after it s", "compile s",
                "total s", "peak MB");
    for (int round = 1; round <= rounds; ++round) {
        const QString windowFolder = temp.filePath(QStringLiteral("window-%1").arg(round));
        const QString bareFolder = temp.filePath(QStringLiteral("bare-%1").arg(round));
        Timing window;
        Timing bare;
        if (round % 2) {
            window = convertInWindowProcess(windowFolder, address);
            bare = convertWithBareTools(bareFolder, address);
        } else {
            bare = convertWithBareTools(bareFolder, address);
            window = convertInWindowProcess(windowFolder, address);
        }
        // A downloader with several transfers at once may save in another
        // order each time: the files must be the same; the contents and the
        // index are the same bytes when the order is.
        QStringList windowFiles = listedFiles(windowFolder);
        QStringList bareFiles = listedFiles(bareFolder);
        const bool sameOrder = windowFiles == bareFiles;
        windowFiles.sort();
        bareFiles.sort();
        if (windowFiles != bareFiles)
            fail(QStringLiteral("the window and the bare tools listed different files"));
        for (const char *name : {pipeline::kContentsFileName, pipeline::kIndexFileName}) {
            const QString file = QString::fromLatin1(name);
            if (sameOrder
                && readBytes(pipeline::BuildPath(windowFolder, file)) != readBytes(pipeline::BuildPath(bareFolder, file)))
                fail(QStringLiteral("the window and the bare tools wrote different ") + file);
        }
        // The window's reading overlaps the download, so its time after the
        // download is shown together with the compile.
        std::printf("%-6d %-12s %12.2f %12s %12.2f %12.2f %12.1f\n", round, "window", window.downloadSeconds, "-",
                    window.totalSeconds - window.downloadSeconds, window.totalSeconds, window.peakKilobytes / 1024.0);
        std::printf("%-6d %-12s %12.2f %12.2f %12.2f %12.2f %12s\n", round, "bare tools", bare.downloadSeconds,
                    bare.projectSeconds, bare.totalSeconds - bare.downloadSeconds - bare.projectSeconds,
                    bare.totalSeconds, "-");
        printStages(round, window.stages);
        ratios.push_back(window.totalSeconds / bare.totalSeconds);
        windowPeak = std::max(windowPeak, window.peakKilobytes);
        std::printf("%-6d ratio window / bare tools: %.3f\n", round, ratios.back());
        if (proxy) {
            const double gnuWget = timeGnuWget(temp.filePath(QStringLiteral("gnu-wget-%1").arg(round)), address);
            downloadRatios.push_back(window.totalSeconds / gnuWget);
            std::printf("%-6d %-12s %12.2f\n", round, "GNU Wget", gnuWget);
            std::printf("%-6d ratio whole conversion in the window / GNU Wget's download alone: %.3f\n", round,
                        downloadRatios.back());
            const double wget2 = timeWget2(temp.filePath(QStringLiteral("wget2-%1").arg(round)), address);
            wget2Ratios.push_back(window.totalSeconds / (1.2 * wget2 + 1));
            std::printf("%-6d %-12s %12.2f\n", round, "wget2 (8)", wget2);
            std::printf("%-6d ratio whole conversion in the window / (1.2 x wget2's download alone + 1 s): %.3f\n",
                        round, wget2Ratios.back());
        }
        std::fflush(stdout);
    }
    std::printf("median ratio window / bare tools over %d rounds: %.3f (aim: at most 1.10)\n", rounds, median(ratios));
    if (proxy)
        std::printf("median ratio whole conversion in the window / GNU Wget's download alone: %.3f "
                    "(aim at a 50 ms round trip, with Quorlix's own downloader: at most 0.25)\n",
                    median(downloadRatios));
    if (proxy)
        std::printf("median ratio whole conversion in the window / (1.2 x wget2's download alone + 1 s): %.3f "
                    "(aim: at most 1)\n",
                    median(wget2Ratios));
    std::printf("the window's peak memory: %.1f MB (%.1f kB a listed file; aim: at most 150 MB on 50,000 files)\n",
                windowPeak / 1024.0, figures.files ? windowPeak * 1.024 / figures.files : 0.0);
    return 0;
}
