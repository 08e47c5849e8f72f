// The index and the contents written from sites that documentation
// generators built: the share of a site's names a reader finds by typing
// them into the Index tab, and the time to write both for Python's own
// documentation (a Sphinx site of some 500 pages) when it is installed.

#include "pipeline/ContentsFile.h"
#include "pipeline/IndexFile.h"
#include "support/GeneratedSites.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <ctime>

using namespace quorlix;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString generators = QStringLiteral(QUORLIX_SOURCE_DIR "/tests/fixtures/generators");
    for (const QString &name : {QStringLiteral("doxygen"), QStringLiteral("sphinx"), QStringLiteral("texinfo")}) {
        const testing::ReadSite site = testing::readSite(generators + QLatin1Char('/') + name + QStringLiteral("/site"));
        const pipeline::IndexFile index = pipeline::MakeIndexFile(site.files, site.pages);
        if (const QString out = qEnvironmentVariable("QUORLIX_BENCH_OUT"); !out.isEmpty()) {
            // The files as written, to read or to look at in a viewer.
            QDir().mkpath(out);
            for (const auto &[suffix, bytes] : {std::pair{QStringLiteral(".hhc"), pipeline::MakeContentsFile(site.files, site.pages).bytes},
                                                std::pair{QStringLiteral(".hhk"), index.bytes}}) {
                QFile file(out + QLatin1Char('/') + name + suffix);
                if (file.open(QIODevice::WriteOnly))
                    file.write(bytes);
            }
        }
        QStringList missing;
        const double share = testing::findableShare(
            index.bytes, testing::sampledNames(generators + QLatin1Char('/') + name + QStringLiteral("/names.txt")),
            &missing);
        std::printf("findable names, %-8s %5.1f %%  (%lld keywords, %lld pages)%s%s\n", qPrintable(name), share * 100.0,
                    static_cast<long long>(index.keywords), static_cast<long long>(site.pages.size()),
                    missing.isEmpty() ? "" : "  missing: ", qPrintable(missing.join(QStringLiteral(", "))));
    }

    const QString python = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/usr/share/doc/python3.11/html");
    if (!QDir(python).exists()) {
        std::printf("Python's documentation: not installed at %s\n", qPrintable(python));
        return 0;
    }
    const testing::ReadSite site = testing::readSite(python, QStringLiteral("docs.python.org"));
    // CPU time as well as wall time: on a busy machine the wall clock also
    // counts the time other programs ran. The best of a few runs.
    double seconds = 1e9, cpuSeconds = 1e9;
    pipeline::ContentsFile contents;
    pipeline::IndexFile index;
    const int runs = qEnvironmentVariableIntValue("QUORLIX_BENCH_RUNS") > 0 ? qEnvironmentVariableIntValue("QUORLIX_BENCH_RUNS") : 3;
    for (int run = 0; run < runs; ++run) {
        timespec cpuStart{}, cpuEnd{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuStart);
        QElapsedTimer clock;
        clock.start();
        contents = pipeline::MakeContentsFile(site.files, site.pages);
        index = pipeline::MakeIndexFile(site.files, site.pages);
        seconds = std::min(seconds, clock.nsecsElapsed() / 1e9);
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuEnd);
        cpuSeconds = std::min(cpuSeconds, double(cpuEnd.tv_sec - cpuStart.tv_sec) + double(cpuEnd.tv_nsec - cpuStart.tv_nsec) / 1e9);
    }
    if (const QString out = qEnvironmentVariable("QUORLIX_BENCH_OUT"); !out.isEmpty()) {
        for (const auto &[name, bytes] : {std::pair{QStringLiteral("python.hhc"), contents.bytes},
                                          std::pair{QStringLiteral("python.hhk"), index.bytes}}) {
            QFile file(out + QLatin1Char('/') + name);
            if (file.open(QIODevice::WriteOnly))
                file.write(bytes);
        }
    }
    // Names Python's readers look for: functions, classes, modules, methods.
    const QStringList names{"abspath",   "get_key",  "os.path", "join",     "dataclass", "namedtuple", "asyncio",
                            "TextIOWrapper", "urlopen", "sorted", "defaultdict", "ArgumentParser", "Path", "sub",
                            "lru_cache", "json",     "loads",   "sqlite3",  "Thread",    "subprocess",  "Popen",
                            "datetime",  "strftime", "zipfile", "getattr",  "isinstance", "ValueError", "print"};
    QStringList missing;
    const double share = testing::findableShare(index.bytes, names, &missing);
    std::printf("Python 3.11 docs: %lld pages; contents %lld topics, index %lld keywords, written in %.3f s "
                "(%.3f s of CPU; target under 0.5 s); findable names %.1f %%%s%s\n",
                static_cast<long long>(site.pages.size()), static_cast<long long>(contents.topics),
                static_cast<long long>(index.keywords), seconds, cpuSeconds, share * 100.0, missing.isEmpty() ? "" : "  missing: ",
                qPrintable(missing.join(QStringLiteral(", "))));
    return 0;
}
