// How fast the command runner drains a child that writes as fast as it can.
// The program is its own child: run with "--flood BYTES" it writes BYTES
// bytes of log-like lines to its standard output and exits.
//
//   bench_runner_drain [MEGABYTES]     (default 10)

#include "runtime/Runtime.h"
#include "process/DOSOutputs.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

int flood(long long bytes)
{
    std::string block;
    while (block.size() < 65536)
        block += "2026-12-07 10:00:00 URL:http://127.0.0.1:8080/docs/page.html [4096/4096] -> \"page.html\" [1]\n";
    while (bytes > 0) {
        const size_t size = static_cast<size_t>(std::min<long long>(bytes, static_cast<long long>(block.size())));
        const ssize_t n = ::write(STDOUT_FILENO, block.data(), size);
        if (n <= 0)
            return 1;
        bytes -= n;
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 2 && std::strcmp(argv[1], "--flood") == 0)
        return flood(std::atoll(argv[2]));

    const double megabytes = argc > 1 ? std::atof(argv[1]) : 10.0;
    const auto bytes = static_cast<long long>(megabytes * 1024 * 1024);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    auto runner = quorlix::process::DOSOutputs::create();
    long long chunks = 0;
    long long received = 0;
    QObject::connect(runner.get(), &quorlix::process::DOSOutputs::ReceiveOutputs, [&](QString &chunk) {
        ++chunks;
        received += chunk.size();
    });

    const QString command = QLatin1Char('"') + QCoreApplication::applicationFilePath()
                            + QStringLiteral("\" --flood ") + QString::number(bytes);
    QElapsedTimer clock;
    clock.start();
    const QString result = runner->ExecuteCommand(command);
    const double seconds = clock.nsecsElapsed() / 1e9;

    if (received != bytes || result.size() != bytes) {
        std::fprintf(stderr, "drained %lld of %lld bytes\n", received, bytes);
        return 1;
    }
    const double mb = bytes / (1024.0 * 1024.0);
    std::printf("runner drain: %.1f MB in %.3f s = %.1f MB/s (%lld chunks, %.1f us a chunk; "
                "the fixed 500 ms pass would take %.0f s)\n",
                mb, seconds, mb / seconds, chunks, seconds * 1e6 / chunks, chunks * 0.5);
    return 0;
}
