// A whole conversion through the window against the bare tools doing the
// same job by hand, on the same site served by nginx on 127.0.0.1, measured
// in the same run.
//
//   bench_conversion [--files N] [--rounds R] [--site FOLDER] [--delay-ms MS] [--links] [--bare-chmcmd]
//
// The site is generated (about N files, default 4000), or an existing
// folder such as Debian's Python documentation
// (--site /usr/share/doc/python3.11/html). nginx serves it on a private
// configuration: Python's http.server drops reused connections, which would
// time the server instead of the program.
//
// Window: the address and output folder set, "Execute" clicked, offscreen,
// with recorded dialogs so no viewer starts; timed until the conversion is
// over (download, reading the pages, contents and index, compile, the point
// where the viewer would be started). It runs in a process of its own, whose
// peak memory is printed: the window's alone, not its children's.
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
#include "html/PageReader.h"
#include "pipeline/ContentsFile.h"
#include "pipeline/DownloadCommand.h"
#include "pipeline/HelpProject.h"
#include "pipeline/IndexFile.h"
#include "pipeline/PathJoin.h"
#include "pipeline/SavedFileFeed.h"
#include "pipeline/SavedFileLog.h"
#include "support/LatencyProxy.h"
#include "tests/support/NginxServer.h"
#include "support/RecordingDialogs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

using quorlix::MainWindow;
using quorlix::bench::LatencyProxy;
using quorlix::test::RecordingDialogs;
namespace pipeline = quorlix::pipeline;
using quorlix::test::NginxServer;

namespace {

const QString kSource = QStringLiteral(QUORLIX_SOURCE_DIR);

struct Timing {
    double downloadSeconds = 0;
    double projectSeconds = 0; // after the download, before the compile
    double totalSeconds = 0;
    long peakKilobytes = 0; // the window's process alone, not the programs it starts
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

Timing convertThroughWindow(const QString &folder, const QString &address, RecordingDialogs &dialogs)
{
    MainWindow window;
    window.Label2->setText(folder);
    window.txtCommand->setText(address);
    // Shown, as for a user: a hidden pane would skip laying out the log.
    window.show();
    QCoreApplication::processEvents();
    dialogs.messages.clear();

    QElapsedTimer clock;
    double lastDownloadChunk = 0;
    QObject::connect(window.objDOS.get(), &quorlix::process::DOSOutputs::ReceiveOutputs, &window,
                     [&](QString &) { lastDownloadChunk = clock.nsecsElapsed() / 1e9; });
    clock.start();
    window.cmdExecute->click();
    // The click returns when the conversion is over, or sooner if work goes
    // on in the background; either way it ends with the caption restored.
    while (window.cmdExecute->text() != QStringLiteral("Execute"))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const double total = clock.nsecsElapsed() / 1e9;

    for (const RecordingDialogs::Message &message : dialogs.messages)
        if (message.icon == quorlix::runtime::MsgIcon::Stop)
            fail(QStringLiteral("the window said: ") + message.text);
    requireFile(folder + QStringLiteral("/output.chm"));
    return {lastDownloadChunk, 0, total};
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
    return {download, projectDone - download, clock.nsecsElapsed() / 1e9};
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
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() == 4 && words[0] == "window-result")
            return {words[1].toDouble(), 0, words[2].toDouble(), words[3].toLong()};
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
    RecordingDialogs dialogs;
    const Timing timing = convertThroughWindow(folder, address, dialogs);
    std::printf("window-result %.3f %.3f %ld\n", timing.downloadSeconds, timing.totalSeconds, peakKilobytes());
    return 0;
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
    QApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--window-child") == 0)
        return windowChild(QString::fromLocal8Bit(argv[2]), QFile::decodeName(argv[3]));

    int files = 4000;
    int rounds = 2;
    int delayMs = 0;
    QString site;
    bool links = false;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--files") == 0 && hasValue)
            files = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--rounds") == 0 && hasValue)
            rounds = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--site") == 0 && hasValue)
            site = QFile::decodeName(argv[++i]);
        else if (std::strcmp(argv[i], "--delay-ms") == 0 && hasValue)
            delayMs = std::max(0, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--links") == 0)
            links = true;
        else if (std::strcmp(argv[i], "--bare-chmcmd") == 0)
            bareChmcmd = true;
        else
            fail(QStringLiteral("usage: bench_conversion [--files N] [--rounds R] [--site FOLDER] [--delay-ms MS] "
                                "[--links] [--bare-chmcmd]"));
    }

    QTemporaryDir temp;
    if (!temp.isValid())
        fail(QStringLiteral("no temporary folder"));
    if (site.isEmpty()) {
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
    std::vector<double> downloadRatios;
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
        ratios.push_back(window.totalSeconds / bare.totalSeconds);
        windowPeak = std::max(windowPeak, window.peakKilobytes);
        std::printf("%-6d ratio window / bare tools: %.3f\n", round, ratios.back());
        if (proxy) {
            const double gnuWget = timeGnuWget(temp.filePath(QStringLiteral("gnu-wget-%1").arg(round)), address);
            downloadRatios.push_back(window.totalSeconds / gnuWget);
            std::printf("%-6d %-12s %12.2f\n", round, "GNU Wget", gnuWget);
            std::printf("%-6d ratio whole conversion in the window / GNU Wget's download alone: %.3f\n", round,
                        downloadRatios.back());
        }
        std::fflush(stdout);
    }
    std::printf("median ratio window / bare tools over %d rounds: %.3f (aim: at most 1.10)\n", rounds, median(ratios));
    if (proxy)
        std::printf("median ratio whole conversion in the window / GNU Wget's download alone: %.3f "
                    "(aim at a 50 ms round trip, with Quorlix's own downloader: at most 0.25)\n",
                    median(downloadRatios));
    std::printf("the window's peak memory: %.1f MB (%.1f kB a listed file; aim: at most 150 MB on 50,000 files)\n",
                windowPeak / 1024.0, figures.files ? windowPeak * 1.024 / figures.files : 0.0);
    return 0;
}
