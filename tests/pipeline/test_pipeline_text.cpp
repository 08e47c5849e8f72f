// The conversion's text work without a window: the command lines, reading
// the saved files out of the download log, and the help project's bytes.

#include "pipeline/CompileCommand.h"
#include "pipeline/DownloadCommand.h"
#include "pipeline/HelpProject.h"
#include "pipeline/PathJoin.h"
#include "pipeline/ProjectFileStream.h"
#include "pipeline/SavedFileFeed.h"
#include "pipeline/FinalFileList.h"
#include "pipeline/SavedFileLine.h"
#include "pipeline/SavedFileLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace quorlix::pipeline;

namespace {
const QString kAgent = QStringLiteral("\"Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0)\"");

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}
} // namespace

class TestPipelineText : public QObject {
    Q_OBJECT
private slots:
    void downloadCommandLine_data();
    void downloadCommandLine();
    void outputDirProblem_data();
    void outputDirProblem();
    void savedFilePaths_data();
    void savedFilePaths();
    void stripOutputDir_data();
    void stripOutputDir();
    void projectFileListKeepsFirstOfDuplicates();
    void helpProjectBytes();
    void buildPath_data();
    void buildPath();
    void compileAndViewerCommands_data();
    void compileAndViewerCommands();
    void writeProjectFileReplacesOldFileWholly();
    void writeProjectFileFailsWithReason_data();
    void writeProjectFileFailsWithReason();
    void projectFilesReplaceSymlinks_data();
    void projectFilesReplaceSymlinks();
};

void TestPipelineText::downloadCommandLine_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("expected");

    const QString head = QStringLiteral("bin\\wget -U ") + kAgent + QStringLiteral(" -r -nv  -np  --random-wait -P \"");
    QTest::newRow("folder with a blank") << "/tmp/Out dir" << "http://example.org/"
                                         << head + "/tmp/Out dir\" http://example.org/";
    QTest::newRow("empty address ends with quote and blank") << "/tmp/Out dir" << "" << head + "/tmp/Out dir\" ";
    QTest::newRow("address with blanks is not quoted or trimmed")
        << "/q" << " http://a/ b " << head + "/q\"  http://a/ b ";
    QTest::newRow("folder kept as written") << "C:\\Out\\" << "x" << head + "C:\\Out\\\" x";
}

void TestPipelineText::downloadCommandLine()
{
    QFETCH(QString, folder);
    QFETCH(QString, address);
    QFETCH(QString, expected);
    QCOMPARE(DownloadCommandLine(folder, address), expected);
}

void TestPipelineText::outputDirProblem_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("refused");

    QTest::newRow("plain") << "/home/u/quorlix" << false;
    QTest::newRow("blank and other punctuation") << "/tmp/a b'c$d\\e" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("double quote") << "/tmp/a\"b" << true;
    QTest::newRow("smuggled argument") << "/tmp/x\" -O \"/etc/passwd" << true;
}

void TestPipelineText::outputDirProblem()
{
    QFETCH(QString, folder);
    QFETCH(bool, refused);
    const QString problem = OutputDirProblem(folder);
    QCOMPARE(!problem.isEmpty(), refused);
    if (refused)
        QVERIFY2(problem.contains(folder), qPrintable(problem));
}

void TestPipelineText::savedFilePaths_data()
{
    // {out} is the output folder, {beside} the folder beside it. The site's pages:
    // h/index.html, h/a b.html and h/a"b.html; h/out-link leads to {beside}/secret.
    QTest::addColumn<QString>("log");
    QTest::addColumn<QStringList>("files");

    const QString line = QStringLiteral("2026-12-07 09:41:18 URL:http://h/ [1/1] -> \"%1\" [1]\n");
    QTest::newRow("quorlix-wget log, a file twice")
        << line.arg("{out}/h/index.html") + "http://h/robots.txt:\n2026-12-07 09:41:18 ERROR 404: Not Found.\n"
               + "2026-12-07 09:41:18 URL:http://h/a%20b.html [3/3] -> \"{out}/h/a b.html\" [1]\n"
               + line.arg("{out}/h/index.html") + "FINISHED --2026-12-07 09:41:19--\nDownloaded: 3 files\n"
        << QStringList{"h/index.html", "h/a b.html"};
    QTest::newRow("GNU Wget: no length, a quote in the name, FTP")
        << "2026-12-07 09:41:18 URL:http://h/chunked [18] -> \"{out}/h/a\"b.html\" [1]\n"
           "2026-12-07 09:41:18 URL: ftp://h/a%20b.html [3] -> \"{out}/h/a b.html\" [1]\n"
        << QStringList{"h/a\"b.html", "h/a b.html"};
    QTest::newRow("reason phrase naming a file outside")
        << "2026-12-07 09:41:18 ERROR 404: Z -> \"{beside}/secret\" [1].\n" + line.arg("{beside}/secret")
               + line.arg("/proc/self/cwd/../secret") << QStringList{};
    QTest::newRow("CR-separated fake options")
        << line.arg("zz\r[OPTIONS]\rCompiled file=/tmp/x\r") + line.arg("{out}/h/index.html")
        << QStringList{"h/index.html"};
    QTest::newRow("dot-dot: out of the folder, and within it")
        << line.arg("{out}/h/../../out-side/secret") + line.arg("{out}/../out-side/secret")
               + line.arg("{out}/h/../h/a b.html")
        << QStringList{"h/../h/a b.html"};
    QTest::newRow("symlink leading out, a file never saved")
        << line.arg("{out}/h/out-link") + line.arg("{out}/h/gone.html") << QStringList{};
    QTest::newRow("unclosed quote runs into nothing")
        << "2026-12-07 09:41:18 URL:http://h/ [1/1] -> \"{out}/h/index.html\n\" [1]\n" << QStringList{};
    QTest::newRow("anything before or after the line")
        << "x" + line.arg("{out}/h/index.html") + line.arg("{out}/h/a b.html").replace("\n", " \n")
               + line.arg("{out}/h/index.html").replace(" URL:", "URL:")
        << QStringList{};
}

void TestPipelineText::savedFilePaths()
{
    QFETCH(QString, log);
    QFETCH(QStringList, files);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString out = dir.filePath("out"), beside = dir.filePath("out-side");
    QVERIFY(QDir().mkpath(out + "/h") && QDir().mkpath(beside));
    for (const QString &name : {out + "/h/index.html", out + "/h/a b.html", out + "/h/a\"b.html", beside + "/secret"})
        QVERIFY(WriteProjectFile(name, "x").isEmpty());
    QVERIFY(QFile::link(beside + "/secret", out + "/h/out-link"));
    log.replace("{out}", out).replace("{beside}", beside);

    // Read as the window reads its pane once the download has ended...
    SavedFileLine reader(out);
    QStringList saved;
    for (QStringView line : QStringView(log).split(QRegularExpression("\r\n|\r|\n")))
        if (const QString path = reader.savedFile(line); !path.isEmpty())
            saved << path;
    const QStringList listed = ProjectFileList(saved, out);
    QCOMPARE(listed, files);
    // ... and as it arrives, in chunks cut anywhere.
    SavedFileFeed feed;
    feed.reset(out);
    QStringList arrived;
    for (qsizetype at = 0; at < log.size(); at += 7)
        arrived += feed.add(log.mid(at, 7));
    QCOMPARE(arrived, saved);
    QCOMPARE(HelpProjectBytes("o.chm", listed).count("[OPTIONS]"), 1);
    // ... and from the downloader's list of files it is done with, which
    // names the same paths, read while it is being written.
    QByteArray named;
    for (QStringView line : QStringView(log).split(QRegularExpression("\r\n|\r|\n")))
        if (const QStringView path = SavedFileLine::pathOf(line); !path.isEmpty())
            named += QFile::encodeName(path.toString()) + '\n';
    FinalFileList list;
    list.reset(dir.filePath("final-files"), out);
    QStringList done = list.take();
    for (qsizetype at = 0; at < named.size(); at += 11) {
        QFile file(dir.filePath("final-files"));
        QVERIFY(file.open(QIODevice::Append) && file.write(named.mid(at, 11)) >= 0);
        file.close();
        done += list.take();
    }
    QCOMPARE(done, saved);

    // The next download's list is another file: the one before is not
    // read again, whatever is added to it.
    list.reset(dir.filePath("final-files-2"), out);
    for (const char *name : {"final-files", "final-files-2"}) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::Append) && file.write(named) >= 0);
        file.close();
        QCOMPARE(list.take(), name == QLatin1String("final-files") ? QStringList() : saved);
    }
}

void TestPipelineText::stripOutputDir_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expected");

    QTest::newRow("folder and its one slash removed")
        << "/tmp/q/127.0.0.1:80/index.html" << "/tmp/q" << "127.0.0.1:80/index.html";
    QTest::newRow("folder ending in a slash") << "/tmp/q/h/index.html" << "/tmp/q/" << "h/index.html";
    QTest::newRow("only one slash dropped") << "/tmp/q//h/a.html" << "/tmp/q" << "/h/a.html";
    QTest::newRow("folder text repeated inside the path stays")
        << "/quorlix/site/quorlix/a.html" << "/quorlix" << "site/quorlix/a.html";
    QTest::newRow("folder found only inside the path: unchanged")
        << "/srv/quorlix/a.html" << "/quorlix" << "/srv/quorlix/a.html";
    QTest::newRow("backslashes in the folder count as slashes")
        << "C:/Out/site/index.html" << "C:\\Out" << "site/index.html";
    QTest::newRow("backslashes in the path: unchanged")
        << "C:\\Out\\site\\index.html" << "C:\\Out" << "C:\\Out\\site\\index.html";
    QTest::newRow("empty folder: unchanged") << "/tmp/q/a.html" << "" << "/tmp/q/a.html";
    QTest::newRow("comparison is case-sensitive") << "/TMP/Q/a.html" << "/tmp/q" << "/TMP/Q/a.html";
    QTest::newRow("blank in the folder") << "/tmp/Out dir/h/a b.html" << "/tmp/Out dir" << "h/a b.html";
}

void TestPipelineText::stripOutputDir()
{
    QFETCH(QString, path);
    QFETCH(QString, folder);
    QFETCH(QString, expected);
    QCOMPARE(StripOutputDir(path, folder), expected);
}

void TestPipelineText::projectFileListKeepsFirstOfDuplicates()
{
    // The start page is saved twice ("/" and "/index.html").
    const QStringList saved{"/o/h/index.html", "/o/h/a.html", "/o/h/index.html", "/o/h/b.html", "/o/h/a.html"};
    QCOMPARE(ProjectFileList(saved, "/o"), (QStringList{"h/index.html", "h/a.html", "h/b.html"}));
    QCOMPARE(ProjectFileList({}, "/o"), QStringList{});
}

void TestPipelineText::helpProjectBytes()
{
    const QByteArray bytes = HelpProjectBytes(QStringLiteral("/tmp/Out dir/output.chm"),
                                              {QStringLiteral("h/index.html"), QStringLiteral("h/caf\u00e9 1.html")});
    const QByteArray expected = "[OPTIONS]\r\n"
                                "Compatibility=1.1 or later\r\n"
                                "Compiled file=/tmp/Out dir/output.chm\r\n"
                                "Default topic=h/index.html\r\n"
                                "Display compile progress=No\r\n"
                                "Language=0x089 English (standard)\r\n"
                                "Title=Quorlix\r\n"
                                "Contents file=output.hhc\r\n"
                                "Index file=output.hhk\r\n"
                                "Full-text search=Yes\r\n"
                                "\r\n"
                                "[FILES]\r\n"
                                "h/index.html\r\n"
                                "h/caf\xc3\xa9 1.html\r\n"
                                "\r\n"
                                "[INFOTYPES]\r\n"
                                "\r\n";
    QCOMPARE(bytes, expected);
}

void TestPipelineText::buildPath_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expected");

    QTest::newRow("joined with one slash") << "/tmp/q" << "/tmp/q/output.HHP";
    QTest::newRow("folder ending in a slash") << "/tmp/q/" << "/tmp/q/output.HHP";
    QTest::newRow("blank kept") << "/tmp/Out dir" << "/tmp/Out dir/output.HHP";
    QTest::newRow("root") << "/" << "/output.HHP";
    QTest::newRow("empty folder") << "" << "output.HHP";
}

void TestPipelineText::buildPath()
{
    QFETCH(QString, folder);
    QFETCH(QString, expected);
    QCOMPARE(BuildPath(folder, QString::fromLatin1(kProjectFileName)), expected);
}

void TestPipelineText::compileAndViewerCommands_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("compile");
    QTest::addColumn<QString>("viewer");

    QTest::newRow("plain") << "/q/x" << "bin\\hhc \"/q/x\"" << "hh /q/x";
    QTest::newRow("blank: compile quoted, viewer not") << "/tmp/Out dir/x" << "bin\\hhc \"/tmp/Out dir/x\""
                                                       << "hh /tmp/Out dir/x";
}

void TestPipelineText::compileAndViewerCommands()
{
    QFETCH(QString, path);
    QFETCH(QString, compile);
    QFETCH(QString, viewer);
    QCOMPARE(CompileCommandLine(path), compile);
    QCOMPARE(ViewerCommand(path), viewer);
}

void TestPipelineText::writeProjectFileReplacesOldFileWholly()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("output.HHP"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(4096, 'x'));
    old.close();

    QCOMPARE(WriteProjectFile(path, "[OPTIONS]\r\n"), QString());
    QCOMPARE(readAll(path), QByteArray("[OPTIONS]\r\n"));
}

void TestPipelineText::writeProjectFileFailsWithReason_data()
{
    QTest::addColumn<QString>("folderInTemp");
    QTest::addColumn<bool>("readOnly");

    QTest::newRow("missing folder") << "missing/deeper" << false;
    // A folder under a regular file cannot exist, whoever runs the test.
    QTest::newRow("folder under a file") << "plain-file/sub" << false;
    QTest::newRow("read-only folder") << "locked" << true;
}

void TestPipelineText::writeProjectFileFailsWithReason()
{
    QFETCH(QString, folderInTemp);
    QFETCH(bool, readOnly);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile plain(dir.filePath(QStringLiteral("plain-file")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString folder = dir.filePath(folderInTemp);
    if (readOnly) {
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        QFile probe(folder + QStringLiteral("/probe"));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.close();
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QSKIP("permissions do not bite for this user (root)");
        }
    }

    const QString path = folder + QStringLiteral("/output.HHP");
    const QString why = WriteProjectFile(path, "[OPTIONS]\r\n");
    if (readOnly)
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY2(!why.isEmpty(), "writing reported success");
    QVERIFY(!QFile::exists(path));
}

void TestPipelineText::projectFilesReplaceSymlinks_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("targetExists");
    QTest::addColumn<bool>("inPieces");

    QTest::newRow("project over a link to a file outside") << "output.HHP" << true << false;
    QTest::newRow("contents over such a link, in pieces") << "output.hhc" << true << true;
    QTest::newRow("link to nothing yet: nothing made there") << "output.hhk" << false << true;
}

void TestPipelineText::projectFilesReplaceSymlinks()
{
    QFETCH(QString, name);
    QFETCH(bool, targetExists);
    QFETCH(bool, inPieces);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString out = dir.filePath("out"), path = out + "/" + name, victim = dir.filePath("authorized_keys");
    QVERIFY(QDir().mkpath(out));
    const QByteArray secret = "ssh-ed25519 AAAA user@host\n";
    if (targetExists)
        QVERIFY(WriteProjectFile(victim, secret).isEmpty());
    QVERIFY(QFile::link(victim, path));

    QString why;
    if (inPieces) {
        ProjectFileStream file(path);
        QVERIFY(file.write("[OPT") && file.write("IONS]\r\n"));
        why = file.commit();
    } else {
        why = WriteProjectFile(path, "[OPTIONS]\r\n");
    }
    QCOMPARE(why, QString());
    // The link gave way to the file; what it led to is as it was.
    QVERIFY(!QFileInfo(path).isSymLink());
    QCOMPARE(readAll(path), QByteArray("[OPTIONS]\r\n"));
    QCOMPARE(QFile::exists(victim), targetExists);
    if (targetExists)
        QCOMPARE(readAll(victim), secret);
    QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{name});
}

QTEST_GUILESS_MAIN(TestPipelineText)
#include "test_pipeline_text.moc"
