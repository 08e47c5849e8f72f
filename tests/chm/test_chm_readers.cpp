// A help file compiled by quorlix-hhc, read back byte for byte by four
// independent readers: chmlib, libmspack, Free Pascal's chmls and 7-Zip.
// One site is compiled once: a page of several MB (many reset intervals),
// bytes that do not compress, an empty file, non-ASCII names, thousands of
// small pages (many listing chunks and an index chunk), a name that differs
// from another only in case, a missing file, and contents and index files.
// Then the bad projects: each gets its message, and a help file that could
// not be made leaves the old one as it was.

#include "chm/prepared/PreparedContentWriter.h"
#include "html/PageReader.h"
#include "support/FileBytes.h"

#include <chm_lib.h>
#include <mspack.h>

#include <QDir>
#include <QtEndian>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sys/stat.h>

#include <map>
#include <unistd.h>

namespace {

using quorlix::test::readFile;
using quorlix::test::writeFile;

const QString kCompiler = QStringLiteral(QUORLIX_HHC);

using Files = std::map<QByteArray, QByteArray>; // stored name ("/site/a.html") -> bytes

// Pages of made-up prose with the markup of real documentation: headings,
// paragraphs, lists, tables and links, in words drawn from a fixed list.
QByteArray generatedPage(int paragraphs, quint32 seed)
{
    static const char *const words[] = {"compile", "the",   "help",   "file",    "window",  "index",
                                        "search",  "topic", "reader", "section", "frame",   "of",
                                        "a",       "and",   "with",   "content", "library", "stream"};
    QRandomGenerator random(seed);
    QByteArray html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Generated " +
                      QByteArray::number(seed) + "</title></head><body>\n";
    for (int p = 0; p < paragraphs; ++p) {
        if (p % 20 == 0)
            html += "<h2 id=\"s" + QByteArray::number(p) + "\">Section " + QByteArray::number(p) + "</h2>\n";
        html += p % 7 == 3 ? "<table><tr><td>" : "<p>";
        for (int w = 0, n = 20 + int(random.bounded(60)); w < n; ++w) {
            html += words[random.bounded(int(std::size(words)))];
            html += w % 13 == 12 ? ", <a href=\"page" + QByteArray::number(random.bounded(999)) + ".html\">link</a> "
                                 : " ";
        }
        html += p % 7 == 3 ? "</td></tr></table>\n" : "</p>\n";
    }
    return html + "</body></html>\n";
}

int run(const QString &program, const QStringList &arguments, QByteArray *output = nullptr,
        const QString &prepared = QString())
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!prepared.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QUORLIX_HHC_PREPARED", prepared);
        process.setProcessEnvironment(environment);
    }
    process.start(program, arguments);
    if (!process.waitForFinished(240000))
        return -1;
    if (output)
        *output = process.readAll();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QByteArray project(const QString &compiled, const QByteArray &options, const QList<QByteArray> &files)
{
    QByteArray text = "[OPTIONS]\r\nCompatibility=1.1 or later\r\nCompiled file=" + compiled.toUtf8() +
                      "\r\nDefault topic=" + (files.isEmpty() ? QByteArray() : files.first()) +
                      "\r\nDisplay compile progress=No\r\nLanguage=0x409 English (United States)\r\nTitle=Readers\r\n" +
                      options + "\r\n[FILES]\r\n";
    for (const QByteArray &file : files)
        text += file + "\r\n";
    return text + "\r\n[INFOTYPES]\r\n\r\n";
}

// Every file of a folder a reader extracted into, by stored name.
Files extractedFiles(const QString &folder)
{
    Files files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files[QDir(folder).relativeFilePath(path).prepend('/').toUtf8()] = readFile(path);
    }
    return files;
}

} // namespace

class TestChmReaders : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void readsBackByteForByte_data();
    void readsBackByteForByte();
    void preparedCompileMatchesScratch();
    void preparedContentLeavesDataToTheCompile();
    void contentsAndIndexReadBack();
    void compileMessages();
    void stoppedCompileKeepsOldFile();
    void badProjects_data();
    void badProjects();

private:
    Files readWithChmlib(const QString &chm, QStringList *problems, bool everything = false);
    Files readWithLibmspack(const QString &chm, QStringList *problems);
    void prepareAndCompile(const QList<QByteArray> &listed);

    QTemporaryDir folder_;
    QString chm_, preparedChm_;
    QByteArray log_, preparedLog_;
    Files expected_;
};

void TestChmReaders::initTestCase()
{
    QVERIFY(folder_.isValid());
    const QString root = folder_.path();
    QList<QByteArray> listed;
    auto add = [&](const QByteArray &name, const QByteArray &bytes) {
        writeFile(root + QString::fromUtf8(name), bytes);
        listed << name;
        expected_[name] = bytes;
    };
    add("/site/index.html", "<html><head><title>Home</title></head><body><h1>Home</h1>welcome</body></html>");
    QByteArray big;
    for (quint32 part = 0; big.size() < 4'500'000; ++part)
        big += generatedPage(200, part);
    add("/site/big.html", big);
    QByteArray noise(300'000, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    add("/site/noise.bin", noise);
    add("/site/empty.html", QByteArray());
    add("/site/ünïcødé/café.html", generatedPage(3, 1000));
    for (int i = 0; i < 2500; ++i)
        add("/site/many/page" + QByteArray::number(i) + ".html", generatedPage(1 + i % 3, 2000 + quint32(i)));
    add("/site/Case.html", "first of two names that differ in case");
    writeFile(root + "/site/case.html", "second of two names that differ in case");
    listed << "/site/case.html" << "/site/missing.html" << "/site/index.html";
    const QByteArray toc = "<html><body><ul><li><object type=\"text/sitemap\"><param name=\"Name\" value=\"Home\">"
                           "<param name=\"Local\" value=\"site/index.html\"></object></ul></body></html>";
    const QByteArray index = "<html><body><ul><li><object type=\"text/sitemap\"><param name=\"Name\" value=\"welcome\">"
                             "<param name=\"Local\" value=\"site/big.html\"></object></ul></body></html>";
    writeFile(root + "/output.hhc", toc);
    writeFile(root + "/output.hhk", index);
    expected_["/output.hhc"] = toc;
    expected_["/output.hhk"] = index;

    chm_ = root + "/output.chm";
    writeFile(root + "/output.HHP",
              project(chm_, "Contents file=output.hhc\r\nIndex file=output.hhk\r\nFull-text search=Yes\r\n", listed));
    QCOMPARE(run(kCompiler, {root + "/output.HHP"}, &log_), 0);
    prepareAndCompile(listed);

    // The small pages fill several listing chunks, found through an index chunk.
    const QByteArray directory = readFile(chm_).mid(0x78, 0x54);
    QVERIFY(directory.startsWith("ITSP"));
    QVERIFY(qFromLittleEndian<quint32>(directory.constData() + 0x18) >= 2);  // depth
    QVERIFY(qFromLittleEndian<quint32>(directory.constData() + 0x24) >= 3);  // last listing chunk
}

// The same project compiled again with content prepared as the window
// prepares it during a download: files in another order, each with the
// stamp of its file as read, one page changed after it was prepared (its
// file's time moved on since), one prepared that the project does not list.
void TestChmReaders::prepareAndCompile(const QList<QByteArray> &listed)
{
    const QString root = folder_.path();
    const QString prepared = root + "/prepared.content";
    {
        quorlix::chm::PreparedContentWriter writer(prepared.toStdString(), 2);
        auto add = [&](const QByteArray &name, const QByteArray &bytes) {
            const std::string_view view(bytes.constData(), std::size_t(bytes.size()));
            const quorlix::html::Page page = quorlix::html::readPage(view, quorlix::html::PageParts::OutlineAndText);
            std::optional<quorlix::html::FileStamp> stamp;
            if (struct stat info; ::stat(QFile::encodeName(root + QString::fromUtf8(name)).constData(), &info) == 0) {
                stamp = quorlix::html::fileStampOf(info);
                stamp->modifiedNs -= name == "/site/index.html" ? 1 : 0;
            }
            writer.add(name.toStdString(), view, quorlix::html::isPageName(name.toStdString()) ? &page : nullptr,
                       stamp);
        };
        // As long as the page is now: only its file's time tells them apart.
        add("/site/index.html", "<html><head><title>Emoh</title></head><body><h1>Home</h1>welcome</body></html>");
        add("/site/gone.html", generatedPage(2, 1));
        for (auto it = expected_.rbegin(); it != expected_.rend(); ++it)
            if (it->first != "/site/index.html" && it->first.startsWith("/site/"))
                add(it->first, it->second);
        QVERIFY(writer.finish());
    }
    preparedChm_ = root + "/prepared.chm";
    writeFile(root + "/prepared.HHP", project(preparedChm_,
                                              "Contents file=output.hhc\r\nIndex file=output.hhk\r\n"
                                              "Full-text search=Yes\r\n",
                                              listed));
    QCOMPARE(run(kCompiler, {root + "/prepared.HHP"}, &preparedLog_, prepared), 0);
}

// A site whose pages hold millions of distinct words is data: the window
// does not keep so long a word list while it downloads, and the compile
// starts from scratch.
void TestChmReaders::preparedContentLeavesDataToTheCompile()
{
    const QString prepared = folder_.path() + "/data.content";
    {
        quorlix::chm::PreparedContentWriter writer(prepared.toStdString(), 1);
        quorlix::html::Page pages[2];
        for (int i = 0; i < 1200000; ++i)
            pages[i / 600000].text += "w" + std::to_string(i) + ' ';
        for (const quorlix::html::Page &page : pages)
            writer.add("/site/data" + std::to_string(&page - pages) + ".html", page.text, &page);
        QVERIFY(!writer.finish());
    }
    QVERIFY(!QFileInfo::exists(prepared));
}

Files TestChmReaders::readWithChmlib(const QString &chm, QStringList *problems, bool everything)
{
    Files files;
    chmFile *file = chm_open(QFile::encodeName(chm).constData());
    if (!file) {
        *problems << "chm_open refused the file";
        return files;
    }
    QList<QByteArray> enumerated, expectedNames;
    chm_enumerate(
        file, CHM_ENUMERATE_ALL,
        [](chmFile *, chmUnitInfo *unit, void *names) {
            static_cast<QList<QByteArray> *>(names)->append(unit->path);
            return CHM_ENUMERATOR_CONTINUE;
        },
        &enumerated);
    for (const QByteArray &name : {QByteArray("/#SYSTEM"), QByteArray("/#TOPICS"), QByteArray("/$FIftiMain"),
                                   QByteArray("::DataSpace/Storage/MSCompressed/Content"), QByteArray("/site/many/")})
        if (!enumerated.contains(name))
            *problems << "chm_enumerate missed " + QString::fromUtf8(name);
    if (everything) {
        for (const QByteArray &name : enumerated)
            expectedNames.push_back(name);
    } else {
        for (const auto &[name, bytes] : expected_)
            expectedNames.push_back(name);
    }
    for (const QByteArray &name : expectedNames) {
        if (!enumerated.contains(name))
            *problems << "chm_enumerate missed " + QString::fromUtf8(name);
        chmUnitInfo unit;
        if (chm_resolve_object(file, name.constData(), &unit) != CHM_RESOLVE_SUCCESS) {
            *problems << "chm_resolve_object missed " + QString::fromUtf8(name);
            continue;
        }
        QByteArray read(qsizetype(unit.length), Qt::Uninitialized);
        if (chm_retrieve_object(file, &unit, reinterpret_cast<unsigned char *>(read.data()), 0,
                                LONGINT64(unit.length)) == LONGINT64(unit.length))
            files[name] = read;
    }
    chm_close(file);
    return files;
}

Files TestChmReaders::readWithLibmspack(const QString &chm, QStringList *problems)
{
    Files files;
    mschm_decompressor *reader = mspack_create_chm_decompressor(nullptr);
    QByteArray path = QFile::encodeName(chm); // libmspack keeps the pointer
    mschmd_header *header = reader->open(reader, path.data());
    if (!header) {
        *problems << QStringLiteral("libmspack refused the file: error %1").arg(reader->last_error(reader));
        mspack_destroy_chm_decompressor(reader);
        return files;
    }
    const QByteArray scratch = QFile::encodeName(folder_.path() + "/mspack.out");
    for (mschmd_file *file = header->files; file; file = file->next) {
        const QByteArray name(file->filename);
        if (reader->extract(reader, file, const_cast<char *>(scratch.constData())) != MSPACK_ERR_OK)
            *problems << QStringLiteral("libmspack could not extract %1: error %2")
                             .arg(QString::fromUtf8(name))
                             .arg(reader->last_error(reader));
        else
            files[name] = readFile(QFile::decodeName(scratch));
        mschmd_file found;
        if (expected_.count(name) &&
            (reader->fast_find(reader, header, name.constData(), &found, sizeof found) != MSPACK_ERR_OK ||
             !found.section || found.length != file->length))
            *problems << "libmspack's index lookup missed " + QString::fromUtf8(name);
    }
    reader->close(reader, header);
    mspack_destroy_chm_decompressor(reader);
    return files;
}

void TestChmReaders::readsBackByteForByte_data()
{
    QTest::addColumn<QString>("reader");
    QTest::addColumn<bool>("prepared");
    for (const bool prepared : {false, true})
        for (const char *reader : {"chmlib", "libmspack", "chmls", "7z"})
            QTest::addRow("%s%s", reader, prepared ? ", prepared during the download" : "") << reader << prepared;
}

void TestChmReaders::readsBackByteForByte()
{
    QFETCH(QString, reader);
    QFETCH(bool, prepared);
    const QString chm = prepared ? preparedChm_ : chm_;
    QStringList problems;
    Files files;
    bool skipsEmptyFiles = false;
    if (reader == "chmlib") {
        files = readWithChmlib(chm, &problems);
    } else if (reader == "libmspack") {
        files = readWithLibmspack(chm, &problems);
    } else {
        const QString into = folder_.path() + "/extracted-" + reader + (prepared ? "-prepared" : "");
        QByteArray output;
        if (reader == "chmls") {
            QCOMPARE(run("chmls", {"extractall", chm, into}, &output), 0);
            skipsEmptyFiles = true; // chmls says so and makes none
        } else {
            QCOMPARE(run("7z", {"t", chm}, &output), 0);
            QVERIFY2(output.contains("Everything is Ok"), output.constData());
            QCOMPARE(run("7z", {"x", "-y", "-o" + into, chm}, &output), 0);
        }
        files = extractedFiles(into);
    }
    for (const auto &[name, bytes] : expected_) {
        const auto read = files.find(name);
        if (read == files.end()) {
            if (!(skipsEmptyFiles && bytes.isEmpty()))
                problems << "missing " + QString::fromUtf8(name);
        } else if (read->second != bytes) {
            problems << QStringLiteral("%1 differs (%2 bytes read, %3 expected)")
                            .arg(QString::fromUtf8(name))
                            .arg(read->second.size())
                            .arg(bytes.size());
        }
    }
    QVERIFY2(!files.count("/site/case.html"), "the second name that differs only in case was stored");
    QVERIFY2(problems.isEmpty(), qPrintable(problems.mid(0, 10).join('\n')));
}

// Titles, topics, contents, index and search come out as from scratch; only
// the header's time and where the files lie in the content may differ.
void TestChmReaders::preparedCompileMatchesScratch()
{
    // All but the page changed since it was prepared: the large page near
    // the stream's end too.
    const QRegularExpressionMatch taken =
        QRegularExpression("(\\d+) of (\\d+) files were compressed while they downloaded").match(preparedLog_);
    QVERIFY2(taken.hasMatch(), preparedLog_.constData());
    QCOMPARE(taken.captured(1).toInt(), taken.captured(2).toInt() - 1);
    QStringList problems;
    const Files scratch = readWithChmlib(chm_, &problems, true);
    const Files prepared = readWithChmlib(preparedChm_, &problems, true);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    QCOMPARE(prepared.size(), scratch.size());
    for (const auto &[name, bytes] : scratch) {
        if (name == "/#SYSTEM" || name.startsWith("::DataSpace/Storage/MSCompressed/"))
            continue;
        const auto found = prepared.find(name);
        QVERIFY2(found != prepared.end() && found->second == bytes, name.constData());
    }
    const double ratio = double(QFileInfo(preparedChm_).size()) / double(QFileInfo(chm_).size());
    QVERIFY2(ratio > 0.98 && ratio < 1.02, qPrintable(QString::number(ratio)));

    // Content cut short (a window that was killed while writing it) is not
    // used: the compile starts from scratch.
    const QString cut = folder_.path() + "/cut.content";
    writeFile(cut, readFile(folder_.path() + "/prepared.content").chopped(100));
    QByteArray log;
    QCOMPARE(run(kCompiler, {folder_.path() + "/prepared.HHP"}, &log, cut), 0);
    QVERIFY2(!log.contains("compressed while they downloaded"), log.constData());
}

void TestChmReaders::contentsAndIndexReadBack()
{
    QByteArray output;
    const QString toc = folder_.path() + "/toc.out", index = folder_.path() + "/index.out";
    QCOMPARE(run("chmls", {"extracttoc", chm_, toc}, &output), 0);
    QVERIFY2(readFile(toc).contains("site/index.html"), output.constData());
    QCOMPARE(run("chmls", {"extractindex", chm_, index}, &output), 0);
    QVERIFY2(readFile(index).contains("site/big.html"), output.constData());
}

void TestChmReaders::compileMessages()
{
    const QString log = QString::fromUtf8(log_);
    QVERIFY2(log.contains("site/missing.html") && log.contains("left out"), qPrintable(log));
    QVERIFY2(log.contains("site/case.html") && log.contains("letter case"), qPrintable(log));
    QVERIFY2(log.contains(QRegularExpression("\\n  \\d+ of \\d+ files\\n")), qPrintable(log));
    QVERIFY2(log.contains(QRegularExpression("Compiled \\d+ files \\(.* MB\\) into output.chm \\(.* MB\\) in")),
             qPrintable(log));
    QVERIFY2(log.count('\n') < 12, qPrintable(log));
}

// The window asks a running compile to stop with SIGTERM (Cancel, Exit,
// closing): the help file there stays as it was, and no temporary is left,
// whenever the stop comes (its first line is written just before the
// temporary is made).
void TestChmReaders::stoppedCompileKeepsOldFile()
{
    QByteArray before = readFile(chm_);
    for (int delayUs : {0, 0, 200, 500, 1000, 2000, 5000, 20000}) {
        QProcess compile;
        compile.setProcessChannelMode(QProcess::MergedChannels);
        compile.start(kCompiler, {folder_.path() + "/output.HHP"});
        QVERIFY(compile.waitForReadyRead(10000));
        QThread::usleep(static_cast<unsigned long>(delayUs));
        compile.terminate();
        QVERIFY(compile.waitForFinished(20000));
        QCOMPARE(QDir(folder_.path()).entryList({".hhc-*"}, QDir::Hidden | QDir::Files), QStringList());
        if (compile.exitStatus() == QProcess::NormalExit && compile.exitCode() == 0)
            before = readFile(chm_); // over before it could be stopped: a new help file
        QCOMPARE(readFile(chm_), before);
    }
}

void TestChmReaders::badProjects_data()
{
    QTest::addColumn<QByteArray>("projectText"); // "" for no project file at all
    QTest::addColumn<QList<QByteArray>>("present");
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QString>("message");
    const QByteArray compiled = "Compiled file=out.chm\r\n";
    QTest::newRow("no project") << QByteArray() << QList<QByteArray>() << 1 << "project file not found";
    QTest::newRow("no files") << QByteArray("[OPTIONS]\r\n" + compiled + "[FILES]\r\n\r\n") << QList<QByteArray>()
                              << 1 << "lists no files";
    QTest::newRow("every file missing") << project("out.chm", {}, {"gone.html", "also/gone.png"})
                                        << QList<QByteArray>() << 1 << "none of the listed files";
    QTest::newRow("default topic not listed")
        << QByteArray("[OPTIONS]\r\n" + compiled + "Default topic=elsewhere.html\r\n[FILES]\r\na.html\r\n")
        << QList<QByteArray>{"a.html"} << 0 << "default topic \"elsewhere.html\" is not among";
    QTest::newRow("outside the folder") << project("out.chm", {}, {"a.html", "../../etc/passwd"})
                                        << QList<QByteArray>{"a.html"} << 0 << "outside the project's folder";
    QTest::newRow("over 4 GB") << project("out.chm", {}, {"a.html", "huge.bin"})
                               << QList<QByteArray>{"a.html", "huge.bin"} << 0 << "larger than 4 GB";
}

void TestChmReaders::badProjects()
{
    QFETCH(QByteArray, projectText);
    QFETCH(QList<QByteArray>, present);
    QFETCH(int, exitStatus);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString root = dir.path();
    for (const QByteArray &name : present) {
        writeFile(root + "/" + QString::fromUtf8(name), "<html><title>x</title>x</html>");
        if (name == "huge.bin") // sparse: takes no room on the disk
            QVERIFY(::truncate(QFile::encodeName(root + "/huge.bin").constData(), (4ll << 30) + 1) == 0);
    }
    const QByteArray old = "the help file of an earlier run";
    writeFile(root + "/out.chm", old);
    if (!projectText.isEmpty())
        writeFile(root + "/p.hhp", projectText);
    QByteArray output;
    QCOMPARE(run(kCompiler, {root + "/p.hhp"}, &output), exitStatus);
    QVERIFY2(QString::fromUtf8(output).contains(message), output.constData());
    if (exitStatus != 0)
        QCOMPARE(readFile(root + "/out.chm"), old);
    else
        QVERIFY(readFile(root + "/out.chm").startsWith("ITSF"));
    QCOMPARE(QDir(root).entryList({".hhc-*"}, QDir::Hidden | QDir::Files), QStringList()); // no leftovers
}

QTEST_GUILESS_MAIN(TestChmReaders)
#include "test_chm_readers.moc"
