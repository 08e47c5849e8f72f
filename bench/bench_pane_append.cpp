// How long the main window takes to show a long log that arrives in the
// runner's 256-byte chunks, and whether that grows faster than the log.
//
//   bench_pane_append [MEGABYTES]     (default 5; also times a fifth of it)

#include "app/MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>

namespace {

QString logText(long long bytes)
{
    const QString line = QStringLiteral(
        "2026-12-07 10:00:00 URL:http://127.0.0.1:8080/docs/page.html [4096/4096] -> \"page.html\" [1]\n");
    QString text;
    text.reserve(bytes + line.size());
    while (text.size() < bytes)
        text += line;
    text.truncate(bytes);
    return text;
}

// Seconds to append the text to a fresh, shown window, chunk by chunk.
double appendSeconds(const QString &text)
{
    quorlix::MainWindow window;
    window.show();
    QCoreApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    for (qsizetype at = 0; at < text.size(); at += quorlix::process::DOSOutputs::kReadSize) {
        QString chunk = text.mid(at, quorlix::process::DOSOutputs::kReadSize);
        window.objDOS_ReceiveOutputs(chunk);
    }
    QCoreApplication::processEvents();
    const double seconds = clock.nsecsElapsed() / 1e9;
    if (window.outputsText().size() != text.size())
        std::fprintf(stderr, "the pane holds %lld characters, not %lld\n",
                     static_cast<long long>(window.outputsText().size()), static_cast<long long>(text.size()));
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 5.0;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const auto bytes = static_cast<long long>(megabytes * 1024 * 1024);
    const double small = appendSeconds(logText(bytes / 5));
    const double large = appendSeconds(logText(bytes));
    const double mb = bytes / (1024.0 * 1024.0);
    std::printf("pane append: %.1f MB in %.3f s = %.1f MB/s; a fifth of it in %.3f s "
                "(ratio %.1f: 5 when linear, 25 when quadratic)\n",
                mb, large, mb / large, small, large / small);
    return 0;
}
