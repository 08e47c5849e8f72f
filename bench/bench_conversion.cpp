// A whole conversion through the window against the bare tools, on the same
// generated site served on 127.0.0.1, measured in the same run.
//
//   bench_conversion [--files N] [--rounds R]     (defaults 4000 and 2)
//
// Window: the address and output folder set, "Execute" clicked, offscreen,
// with recorded dialogs so no viewer starts; timed until the click returns
// (download, project, compile). Bare tools: wget with the same arguments,
// then chmcmd --no-html-scan on a project listing the same files. Rounds
// alternate which side goes first; an untimed download first warms the
// caches. Prints each time and the ratio window / bare tools.

#include "app/MainWindow.h"
#include "pipeline/DownloadCommand.h"
#include "pipeline/HelpProject.h"
#include "pipeline/PathJoin.h"
#include "pipeline/SavedFileLog.h"
#include "support/FixtureServer.h"
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
#include <cstdio>
#include <cstring>
#include <vector>

using quorlix::MainWindow;
using quorlix::test::FixtureServer;
using quorlix::test::RecordingDialogs;
namespace pipeline = quorlix::pipeline;

namespace {

const QString kSource = QStringLiteral(QUORLIX_SOURCE_DIR);

struct Timing {
    double downloadSeconds = 0;
    double totalSeconds = 0;
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

// Runs a program to its end; its output goes to outputFile.
void runTool(const QString &program, const QStringList &arguments, const QString &workingDir,
             const QString &outputFile)
{
    QProcess tool;
    tool.setWorkingDirectory(workingDir);
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.setStandardOutputFile(outputFile);
    tool.start(program, arguments);
    if (!tool.waitForStarted(-1) || !tool.waitForFinished(-1))
        fail(program + QStringLiteral(" did not run: ") + tool.errorString());
}

QString readText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read ") + path);
    return QString::fromLocal8Bit(file.readAll());
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
    const double total = clock.nsecsElapsed() / 1e9;

    if (!dialogs.messages.empty())
        fail(QStringLiteral("the window said: ") + dialogs.messages.front().text);
    requireFile(folder + QStringLiteral("/output.chm"));
    return {lastDownloadChunk, total};
}

Timing convertWithBareTools(const QString &folder, const QString &address)
{
    QDir().mkpath(folder);
    const QString log = folder + QStringLiteral(".log");
    QElapsedTimer clock;
    clock.start();
    runTool(QStringLiteral("wget"), downloadArguments(folder, address), folder, log);
    const double download = clock.nsecsElapsed() / 1e9;

    // The project is the program's work, not the tools': not timed.
    const QStringList files = pipeline::ProjectFileList(pipeline::SavedFilePaths(readText(log)), folder);
    if (files.isEmpty())
        fail(QStringLiteral("the bare download saved nothing; see ") + log);
    const QString project = pipeline::BuildPath(folder, QString::fromLatin1(pipeline::kProjectFileName));
    const QString failure = pipeline::WriteProjectFile(
        project, pipeline::HelpProjectBytes(pipeline::BuildPath(folder, QString::fromLatin1(pipeline::kCompiledFileName)),
                                            files));
    if (!failure.isEmpty())
        fail(failure);

    clock.restart();
    runTool(QStringLiteral("chmcmd"), {QStringLiteral("--no-html-scan"), QString::fromLatin1(pipeline::kProjectFileName)},
            folder, folder + QStringLiteral(".chmcmd.log"));
    requireFile(folder + QStringLiteral("/output.chm"));
    return {download, download + clock.nsecsElapsed() / 1e9};
}

// The files a project lists, without its options (which name its folder).
QStringList listedFiles(const QString &folder)
{
    const QString project = readText(pipeline::BuildPath(folder, QString::fromLatin1(pipeline::kProjectFileName)));
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

    int files = 4000;
    int rounds = 2;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--files") == 0)
            files = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::atoi(argv[i + 1]);
    }

    QTemporaryDir temp;
    if (!temp.isValid())
        fail(QStringLiteral("no temporary folder"));
    const QString site = temp.filePath(QStringLiteral("site"));
    runTool(QStringLiteral("python3"),
            {kSource + QStringLiteral("/bench/generate_site.py"), site, QStringLiteral("--files"), QString::number(files)},
            temp.path(), temp.filePath(QStringLiteral("generate.log")));

    FixtureServer server(site);
    if (!server.isListening())
        fail(server.errorString());
    // The window starts bin/wget and bin/hhc relative to its working folder.
    QDir::setCurrent(kSource);
    RecordingDialogs dialogs;

    convertWithBareTools(temp.filePath(QStringLiteral("warm-up")), server.url());

    std::vector<double> ratios;
    std::printf("site: %d files generated, served at %s\n", files, qPrintable(server.url()));
    std::printf("%-6s %-12s %12s %12s %12s\n", "round", "side", "download s", "compile s", "total s");
    for (int round = 1; round <= rounds; ++round) {
        const QString windowFolder = temp.filePath(QStringLiteral("window-%1").arg(round));
        const QString bareFolder = temp.filePath(QStringLiteral("bare-%1").arg(round));
        Timing window;
        Timing bare;
        if (round % 2) {
            window = convertThroughWindow(windowFolder, server.url(), dialogs);
            bare = convertWithBareTools(bareFolder, server.url());
        } else {
            bare = convertWithBareTools(bareFolder, server.url());
            window = convertThroughWindow(windowFolder, server.url(), dialogs);
        }
        if (listedFiles(windowFolder) != listedFiles(bareFolder))
            fail(QStringLiteral("the window and the bare tools listed different files"));
        for (const auto &[side, t] : {std::pair{"window", window}, std::pair{"bare tools", bare}})
            std::printf("%-6d %-12s %12.2f %12.2f %12.2f\n", round, side, t.downloadSeconds,
                        t.totalSeconds - t.downloadSeconds, t.totalSeconds);
        ratios.push_back(window.totalSeconds / bare.totalSeconds);
        std::printf("%-6d ratio window / bare tools: %.3f\n", round, ratios.back());
        std::fflush(stdout);
    }
    std::printf("median ratio window / bare tools over %d rounds: %.3f (aim: at most 1.10)\n", rounds, median(ratios));
    return 0;
}
