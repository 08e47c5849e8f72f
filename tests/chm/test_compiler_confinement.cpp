// The help compiler on projects written from a hostile site's text: it
// reads and writes only inside the project's folder, each refusal has its
// line and the rest still compiles; a secret planted beside the folder never
// reaches the help file, and a victim file there stays as it was. And style
// sheets that import each other over and over make a help file of bounded
// size.

#include "support/FileBytes.h"

#include <chm_lib.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

using quorlix::test::readFile;
using quorlix::test::writeFile;

const QString kCompiler = QStringLiteral(QUORLIX_HHC);
const QByteArray kSecret = "SECRET-3f9a1c outside the folder";
const QByteArray kVictim = "the victim file's own bytes";

// Runs the compiler in folder, as the window does; its exit status.
int compile(const QString &project, const QString &folder, QByteArray &output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(folder);
    process.start(kCompiler, {project});
    if (!process.waitForFinished(120000))
        return -1;
    output = process.readAll();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Every stored file of a help file, by name, as chmlib reads it.
std::map<QByteArray, QByteArray> storedFiles(const QString &chm)
{
    std::map<QByteArray, QByteArray> files;
    chmFile *file = chm_open(QFile::encodeName(chm).constData());
    if (!file)
        return files;
    chm_enumerate(
        file, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES,
        [](chmFile *opened, chmUnitInfo *unit, void *context) {
            QByteArray bytes(qsizetype(unit->length), Qt::Uninitialized);
            chm_retrieve_object(opened, unit, reinterpret_cast<unsigned char *>(bytes.data()), 0,
                                LONGINT64(unit->length));
            (*static_cast<std::map<QByteArray, QByteArray> *>(context))[unit->path] = bytes;
            return CHM_ENUMERATOR_CONTINUE;
        },
        &files);
    chm_close(file);
    return files;
}

} // namespace

class TestCompilerConfinement : public QObject {
    Q_OBJECT

private slots:
    void confined_data()
    {
        // Options, then "[FILES]" and files; @ROOT@ stands for the scratch folder.
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<QString>("message");
        const QByteArray files = "[FILES]\nsite/index.html\n";
        const QByteArray inside = "Compiled file=@ROOT@/project/output.chm\n";
        QTest::newRow("absolute")
            << inside + files + "@ROOT@/outside/secret.txt" << 0
            << "\"@ROOT@/outside/secret.txt\" is outside the project's folder (an absolute path); left out";
        QTest::newRow("/etc/passwd") << inside + files + "/etc/passwd" << 0
                                     << "\"/etc/passwd\" is outside the project's folder (an absolute path); left out";
        QTest::newRow("climbs")
            << inside + files + "../outside/secret.txt" << 0
            << "\"../outside/secret.txt\" is outside the project's folder (\"..\" climbs out of it)";
        QTest::newRow("climbs from a sub-folder")
            << inside + files + "site/../../outside/secret.txt" << 0
            << "\"site/../../outside/secret.txt\" is outside the project's folder";
        QTest::newRow("/proc") << inside + files + "/proc/self/cwd/../outside/secret.txt" << 0
                               << "(a path through /proc); left out";
        QTest::newRow("link to a file")
            << inside + files + "site/link.txt" << 0
            << "\"site/link.txt\" is outside the project's folder (a symbolic link leads out of it)";
        QTest::newRow("link to a folder") << inside + files + "site/out/secret.txt" << 0
                                          << "\"site/out/secret.txt\" is outside the project's folder (a symbolic link";
        QTest::newRow("contents and index files")
            << inside + "Contents file=../outside/secret.txt\nIndex file=/proc/self/cwd/../outside/secret.txt\n" + files
            << 0 << "the contents file \"../outside/secret.txt\" is outside the project's folder";
        QTest::newRow("index file through a link")
            << inside + "Index file=site/link.txt\n" + files << 0
            << "the index file \"site/link.txt\" is outside the project's folder (a symbolic link leads out of it)";
        QTest::newRow("index file missing") << inside + "Index file=missing.hhk\n" + files << 0
                                            << "cannot read the index file @ROOT@/project/missing.hhk (";
        QTest::newRow("sub-folders written by hand")
            << inside + files + "site/a.html\n.\\site\\b.html\nsite\\c.html" << 0 << "Compiled 4 files";
        QTest::newRow("compiled file elsewhere") << "Compiled file=@ROOT@/outside/victim.chm\n" + files << 1
                                                 << "Error: the compiled file \"@ROOT@/outside/victim.chm\" is outside";
        QTest::newRow("compiled file above")
            << "Compiled file=../outside/victim.chm\n" + files << 1
            << "is outside the project's folder (\"..\" climbs out of it); no help file";
        QTest::newRow("compiled file through /proc")
            << "Compiled file=/proc/self/cwd/../outside/victim.chm\n" + files << 1 << "(a path through /proc)";
        QTest::newRow("compiled file through a link")
            << "Compiled file=out/victim.chm\n" + files << 1 << "(a symbolic link leads out of it); no help file";
    }

    // Every row has a symbolic link named output.chm leading to the victim:
    // a compile replaces the link, never writes through it.
    void confined()
    {
        QFETCH(QByteArray, lines);
        QFETCH(int, exitStatus);
        QFETCH(QString, message);
        QTemporaryDir scratch;
        const QString root = scratch.path(), folder = root + "/project";
        writeFile(root + "/outside/secret.txt", kSecret);
        writeFile(root + "/outside/victim.chm", kVictim);
        for (const char *page : {"index", "a", "b", "c"})
            writeFile(folder + "/site/" + page + ".html", "<html><title>" + QByteArray(page) + "</title>x</html>");
        QVERIFY(QFile::link(root + "/outside/secret.txt", folder + "/site/link.txt"));
        QVERIFY(QFile::link(root + "/outside", folder + "/site/out"));
        QVERIFY(QFile::link(root + "/outside", folder + "/out"));
        QVERIFY(QFile::link(root + "/outside/victim.chm", folder + "/output.chm"));
        writeFile(folder + "/output.HHP", "[OPTIONS]\nDefault topic=site/index.html\n"
                                              + lines.replace("@ROOT@", QFile::encodeName(root)) + "\n");

        QByteArray output;
        QCOMPARE(compile(folder + "/output.HHP", folder, output), exitStatus);
        QVERIFY2(QString::fromUtf8(output).contains(message.replace("@ROOT@", root)), output.constData());
        QCOMPARE(readFile(root + "/outside/victim.chm"), kVictim);
        QCOMPARE(readFile(root + "/outside/secret.txt"), kSecret);
        QCOMPARE(QFileInfo(folder + "/output.chm").isSymLink(), exitStatus != 0);
        QCOMPARE(QDir(folder).entryList({".hhc-*", ".quorlix-hhc-*"}, QDir::Hidden | QDir::Files), QStringList());
        if (exitStatus != 0)
            return;
        const auto stored = storedFiles(folder + "/output.chm");
        QVERIFY(stored.count("/site/index.html"));
        for (const auto &[name, bytes] : stored)
            QVERIFY2(!bytes.contains("SECRET-3f9a1c"), name.constData());
        if (QByteArray(QTest::currentDataTag()).contains("by hand"))
            for (const char *name : {"/site/a.html", "/site/b.html", "/site/c.html"})
                QVERIFY2(stored.count(name), name);
    }

    void sheetBombs_data()
    {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<int>("sheets");
        QTest::newRow("a 1 MB sheet imported by 1,000") << "fan" << 1000;
        QTest::newRow("a chain of 5,000 imports") << "chain" << 5000;
        QTest::newRow("a cycle of 2,000 imports") << "cycle" << 2000;
    }

    // Each would have stored hundreds of MB to a GB of sheets; now what
    // flattening adds stays within its budget (16 MB).
    void sheetBombs()
    {
        QFETCH(QString, shape);
        QFETCH(int, sheets);
        QTemporaryDir scratch;
        const QString folder = scratch.path();
        QByteArray project =
            "[OPTIONS]\nCompiled file=output.chm\nDefault topic=site/index.html\n[FILES]\nsite/index.html\n";
        writeFile(folder + "/site/index.html", "<html><title>Sheets</title>x</html>");
        qint64 saved = 0;
        const auto add = [&](const QByteArray &name, const QByteArray &text) {
            writeFile(folder + "/site/" + name, text);
            project += "site/" + name + "\n";
            saved += text.size();
        };
        if (shape == "fan") {
            QByteArray big;
            QRandomGenerator random(5);
            while (big.size() < 1'000'000)
                big += ".c" + QByteArray::number(random.generate(), 16) + " { color: red }\n";
            add("big.css", big);
        }
        for (int i = 0; i < sheets; ++i) {
            const QByteArray imported = shape == "fan"     ? QByteArray("big.css")
                                        : shape == "chain" ? "s" + QByteArray::number(i + 1) + ".css"
                                                           : "s" + QByteArray::number((i + 1) % sheets) + ".css";
            add("s" + QByteArray::number(i) + ".css",
                "@import \"" + imported + "\";\n.s" + QByteArray::number(i) + " { color: red }\n");
        }
        writeFile(folder + "/output.HHP", project);

        QByteArray output;
        QCOMPARE(compile(folder + "/output.HHP", folder, output), 0);
        QVERIFY2(output.contains("style sheets keep imports or addresses as written"), output.constData());
        qint64 stored = 0;
        for (const auto &[name, bytes] : storedFiles(folder + "/output.chm"))
            stored += name.endsWith(".css") ? bytes.size() : 0;
        QVERIFY2(stored > saved && stored <= saved + 16'000'000, qPrintable(QString::number(stored)));
    }
};

QTEST_GUILESS_MAIN(TestCompilerConfinement)
#include "test_compiler_confinement.moc"
