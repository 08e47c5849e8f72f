// A conversion through the real window, with stand-in programs for the
// downloader and the help compiler (shell scripts that print canned logs), so
// no network is needed: the caption as busy flag, cancelling in either stage,
// a second "Execute" while the first conversion is still compiling, and the
// failure paths.

#include "app/MainWindow.h"
#include "process/PosixProcess.h"
#include "support/ConditionTrigger.h"
#include "support/RecordingDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using quorlix::MainWindow;
using quorlix::test::ConditionTrigger;
using quorlix::test::RecordingDialogs;

namespace {

const QString kStandins = QStringLiteral(QUORLIX_STANDINS_DIR);
const QString kCannotStop = QStringLiteral("The help compiler cannot be stopped: the compile runs to its end.\n");

// "<time> URL:<url> [n/n] -> "<path>" [1]", the downloader's line for a
// saved file.
QString savedLine(const QString &url, const QString &path)
{
    return QStringLiteral("2026-12-07 09:41:18 URL:%1 [380/380] -> \"%2\" [1]\n").arg(url, path);
}

QString robotsMissing()
{
    return QStringLiteral("http://h.test/robots.txt:\n2026-12-07 09:41:18 ERROR 404: File not found.\n");
}

} // namespace

class TestConversionFlow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void fullConversion_data();
    void fullConversion();
    void captionDifferingInCaseCancels();
    void cancelDuringDownload_data();
    void cancelDuringDownload();
    void cancelDuringCompileStillOpensTheResult();
    void executeWhileCompilingStartsNothing();
    void noSavedFileLine();
    void downloadFailureSaysWhy_data();
    void downloadFailureSaysWhy();
    void folderChangedDuringRun();
    void projectCannotBeWritten();
    void forgedLinesNeverReachTheProject();
    void folderWithDoubleQuoteRefused();
    void viewerFailureReportedByErrorTrap();

private:
    // The working directory: bin/wget and bin/hhc are the stand-ins, and
    // their control files live here.
    QString work(const QString &name) const { return mWork->filePath(name); }
    void writeFile(const QString &name, const QByteArray &bytes);
    QStringList argsOf(const QString &program) const;
    QByteArray readFile(const QString &path) const;
    // The canned logs of a conversion that saves two pages under folder.
    void cannedLogs(const QString &folder);
    // The window's own lines before the download's log and the compiler's.
    QString startLine() const;
    QString compileLine() const;
    // The pane after a whole conversion: the two logs, each after its line.
    QString fullPane() const { return startLine() + mWgetLog + compileLine() + mHhcLog; }
    // The pane without the summary line that follows a compile.
    QString paneBeforeSummary() const;

    std::unique_ptr<QTemporaryDir> mWork;
    std::unique_ptr<RecordingDialogs> mDialogs;
    std::unique_ptr<MainWindow> mWindow;
    QString mFolder;  // the output folder: a blank in its name
    QString mWgetLog;
    QString mHhcLog;
    QString mPreviousDir;
};

void TestConversionFlow::init()
{
    mWork = std::make_unique<QTemporaryDir>();
    QVERIFY(mWork->isValid());
    QVERIFY(QDir(mWork->path()).mkdir(QStringLiteral("bin")));
    for (const char *program : {"wget", "hhc"})
        QVERIFY(QFile::copy(kStandins + QLatin1Char('/') + program, work(QStringLiteral("bin/") + program)));
    mPreviousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(mWork->path()));

    mFolder = work(QStringLiteral("Out dir"));
    QVERIFY(QDir().mkpath(mFolder));
    mDialogs = std::make_unique<RecordingDialogs>();
    mWindow = std::make_unique<MainWindow>();
    mWindow->Label2->setText(mFolder);
    mWindow->txtCommand->setText(QStringLiteral("http://h.test/"));
    cannedLogs(mFolder);
}

void TestConversionFlow::cleanup()
{
    // Let a held stand-in go, whatever the test left behind.
    writeFile(QStringLiteral("wget.release"), {});
    writeFile(QStringLiteral("hhc.release"), {});
    mWindow.reset();
    mDialogs.reset();
    QDir::setCurrent(mPreviousDir);
    mWork.reset();
}

void TestConversionFlow::writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(work(name));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList TestConversionFlow::argsOf(const QString &program) const
{
    QFile file(work(program + QStringLiteral(".args")));
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("<not run>")};
    QStringList args = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    args.removeLast(); // after the last line's end
    return args;
}

QByteArray TestConversionFlow::readFile(const QString &path) const
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void TestConversionFlow::cannedLogs(const QString &folder)
{
    mWgetLog = savedLine("http://h.test/", folder + "/h.test/index.html") + robotsMissing()
               + savedLine("http://h.test/a%20b.html", folder + "/h.test/a b.html")
               + savedLine("http://h.test/index.html", folder + "/h.test/index.html")
               + QStringLiteral("FINISHED --2026-12-07 09:41:19--\nDownloaded: 3 files, 1.1K in 0.2s\n");
    // The stand-in downloader saves nothing: the pages are there before it runs.
    QVERIFY(QDir().mkpath(folder + "/h.test"));
    for (const char *page : {"/h.test/index.html", "/h.test/a b.html"}) {
        QFile file(folder + QLatin1String(page));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    mHhcLog = QStringLiteral("Writing CHM ") + folder + QStringLiteral("/output.chm\n");
    writeFile(QStringLiteral("wget.log"), mWgetLog.toUtf8());
    writeFile(QStringLiteral("hhc.log"), mHhcLog.toUtf8());
}

QString TestConversionFlow::startLine() const
{
    const QString address = mWindow->txtCommand->text();
    return QStringLiteral("Downloading %1 into %2\n")
        .arg(address.isEmpty() ? QStringLiteral("(no address)") : address, mWindow->Label2->text());
}

QString TestConversionFlow::paneBeforeSummary() const
{
    QString pane = mWindow->outputsText();
    static const QRegularExpression summary(QStringLiteral("^Help file: .*\n"), QRegularExpression::MultilineOption);
    return pane.remove(summary);
}

QString TestConversionFlow::compileLine() const
{
    return QStringLiteral("Compiling %1/output.HHP\n").arg(mWindow->Label2->text());
}

void TestConversionFlow::fullConversion_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QStringList>("addressArgs");

    QTest::newRow("address") << "http://h.test/" << QStringList{"http://h.test/"};
    QTest::newRow("address with blanks: several arguments") << "http://h.test/ -l 1" << QStringList{"http://h.test/", "-l", "1"};
    QTest::newRow("empty address: no argument") << "" << QStringList{};
}

void TestConversionFlow::fullConversion()
{
    QFETCH(QString, address);
    QFETCH(QStringList, addressArgs);
    mWindow->txtCommand->setText(address);
    mWindow->txtOutputs->setPlainText(QStringLiteral("an earlier log"));

    writeFile(QStringLiteral("wget.hold"), {});
    QString captionWhileDownloading;
    ConditionTrigger downloading([&] { return mWindow->outputsText().contains(QStringLiteral("FINISHED")); },
                                 [&] {
                                     captionWhileDownloading = mWindow->cmdExecute->text();
                                     writeFile(QStringLiteral("wget.release"), {});
                                 });
    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
    mWindow->cmdExecute->click();

    QCOMPARE(captionWhileDownloading, QStringLiteral("Cancel"));
    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
    QCOMPARE(argsOf("wget"), QStringList({"-U", "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0)", "-r",
                                          "-nv", "-np", "--random-wait", "-P", mFolder})
                                 + addressArgs);
    // The pane was cleared, then holds the download log and after it the
    // compiler's, each after a line that says what runs.
    QCOMPARE(paneBeforeSummary(), fullPane());
    // The compiler's stand-in writes no real help file, and the summary says so.
    const QString summary = mWindow->outputsText().section(QLatin1Char('\n'), -2);
    QVERIFY2(summary.startsWith(QStringLiteral("Help file: ") + mFolder + QStringLiteral(
        "/output.chm: 2 files, 2 topics, 0 index keywords, no full-text search, 14 bytes, made in ")), qPrintable(summary));
    QVERIFY2(summary.endsWith(QStringLiteral(" s (it could not be read back to check it)\n")), qPrintable(summary));
    QCOMPARE(readFile(mFolder + "/output.HHP"),
             QByteArray("[OPTIONS]\r\nCompatibility=1.1 or later\r\nCompiled file=")
                 + mFolder.toUtf8()
                 + "/output.chm\r\nDefault topic=h.test/index.html\r\nDisplay compile progress=No\r\n"
                   "Language=0x089 English (standard)\r\nTitle=Quorlix\r\nContents file=output.hhc\r\n"
                   "Index file=output.hhk\r\nFull-text search=Yes\r\n\r\n[FILES]\r\n"
                   "h.test/index.html\r\nh.test/a b.html\r\n\r\n[INFOTYPES]\r\n\r\n");
    QCOMPARE(argsOf("hhc"), QStringList{mFolder + "/output.HHP"});
    QCOMPARE(mDialogs->shellCalls.size(), size_t(1));
    QCOMPARE(mDialogs->shellCalls[0].program, QStringLiteral("hh"));
    QCOMPARE(mDialogs->shellCalls[0].arguments, QStringList{mFolder + "/output.chm"});
    QVERIFY(mDialogs->messages.empty());
}

void TestConversionFlow::captionDifferingInCaseCancels()
{
    mWindow->cmdExecute->setText(QStringLiteral("EXECUTE"));
    mWindow->txtOutputs->setPlainText(QStringLiteral("kept"));
    mWindow->cmdExecute->click();

    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
    QCOMPARE(mWindow->outputsText(), QStringLiteral("kept"));
    QCOMPARE(argsOf("wget"), QStringList{"<not run>"});
    QCOMPARE(mWindow->objDOS->lastProcessId(), 0);
}

void TestConversionFlow::cancelDuringDownload_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel button") << "click";
    QTest::newRow("Escape in the address box") << "txtCommand";
    QTest::newRow("Escape on the button") << "cmdExecute";
}

void TestConversionFlow::cancelDuringDownload()
{
    QFETCH(QString, how);
    // Escape does nothing while idle.
    QTest::keyClick(mWindow->txtCommand, Qt::Key_Escape);
    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
    QCOMPARE(argsOf("wget"), QStringList{"<not run>"});

    writeFile(QStringLiteral("wget.hold"), {});
    QString captionAfterCancel;
    ConditionTrigger downloading([&] { return mWindow->outputsText().endsWith(mWgetLog); },
                                 [&] {
                                     if (how == "click")
                                         mWindow->cmdExecute->click();
                                     else
                                         QTest::keyClick(mWindow->findChild<QWidget *>(how), Qt::Key_Escape);
                                     captionAfterCancel = mWindow->cmdExecute->text();
                                 });
    mWindow->cmdExecute->click();

    QVERIFY(downloading.fired());
    QCOMPARE(captionAfterCancel, QStringLiteral("Execute"));
    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
    // What came before the cancel stays.
    QCOMPARE(mWindow->outputsText(), startLine() + mWgetLog + QStringLiteral("Cancelled.\n"));
    QVERIFY(!QFile::exists(mFolder + "/output.HHP"));
    QCOMPARE(argsOf("hhc"), QStringList{"<not run>"});
    QVERIFY(!mWindow->hccDOS);
    QVERIFY(mDialogs->shellCalls.empty());
    QVERIFY(mDialogs->messages.empty());
    const auto downloader = static_cast<pid_t>(mWindow->objDOS->lastProcessId());
    QTRY_VERIFY_WITH_TIMEOUT(!quorlix::posix::processGroupExists(downloader), 5000);
}

void TestConversionFlow::cancelDuringCompileStillOpensTheResult()
{
    writeFile(QStringLiteral("hhc.hold"), {});
    QString captionAfterCancel;
    ConditionTrigger compiling([&] { return mWindow->outputsText().endsWith(mHhcLog); },
                               [&] {
                                   mWindow->cmdExecute->click();
                                   captionAfterCancel = mWindow->cmdExecute->text();
                                   writeFile(QStringLiteral("hhc.release"), {});
                               });
    mWindow->cmdExecute->click();

    QVERIFY(compiling.fired());
    QCOMPARE(captionAfterCancel, QStringLiteral("Execute"));
    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
    QCOMPARE(paneBeforeSummary(), fullPane() + kCannotStop);
    QCOMPARE(mDialogs->shellCalls.size(), size_t(1));
    QCOMPARE(mDialogs->shellCalls[0].program, QStringLiteral("hh"));
    QCOMPARE(mDialogs->shellCalls[0].arguments, QStringList{mFolder + "/output.chm"});
}

void TestConversionFlow::executeWhileCompilingStartsNothing()
{
    writeFile(QStringLiteral("hhc.hold"), {});
    qint64 downloader = 0;
    QString paneAfterSecondClick;
    ConditionTrigger compiling([&] { return mWindow->outputsText().endsWith(mHhcLog); },
                               [&] {
                                   downloader = mWindow->objDOS->lastProcessId();
                                   QFile::remove(work("wget.args"));
                                   // Released first, so that a second conversion, were one started,
                                   // would run to its end instead of waiting for this one.
                                   writeFile(QStringLiteral("hhc.release"), {});
                                   mWindow->cmdExecute->click(); // "Cancel": the compile goes on
                                   mWindow->cmdExecute->click(); // "Execute" while still compiling
                                   paneAfterSecondClick = mWindow->outputsText();
                               });
    mWindow->cmdExecute->click();

    QVERIFY(compiling.fired());
    // The second click started nothing and said why.
    QCOMPARE(argsOf("wget"), QStringList{"<not run>"});
    QCOMPARE(mWindow->objDOS->lastProcessId(), downloader);
    QCOMPARE(paneAfterSecondClick, fullPane() + kCannotStop);
    QCOMPARE(mDialogs->messages.size(), size_t(1));
    QVERIFY2(mDialogs->messages[0].text.contains(QStringLiteral("still")), qPrintable(mDialogs->messages[0].text));
    // The running conversion finished intact.
    QCOMPARE(paneBeforeSummary(), fullPane() + kCannotStop);
    QCOMPARE(mDialogs->shellCalls.size(), size_t(1));
    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
    QVERIFY(!mWindow->conversionRunning());
}

void TestConversionFlow::noSavedFileLine()
{
    writeFile(QStringLiteral("wget.log"), robotsMissing().toUtf8());
    mWindow->cmdExecute->click();

    QCOMPARE(mDialogs->messages.size(), size_t(1));
    QVERIFY2(mDialogs->messages[0].text.contains(QStringLiteral("No downloaded files")),
             qPrintable(mDialogs->messages[0].text));
    // The downloader's own words say why.
    QVERIFY2(mDialogs->messages[0].text.contains(QStringLiteral("\n    2026-12-07 09:41:18 ERROR 404: File not found.\n")),
             qPrintable(mDialogs->messages[0].text));
    QVERIFY(!QFile::exists(mFolder + "/output.HHP"));
    QCOMPARE(argsOf("hhc"), QStringList{"<not run>"});
    QVERIFY(mDialogs->shellCalls.empty());
    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
}

void TestConversionFlow::downloadFailureSaysWhy_data()
{
    QTest::addColumn<QString>("log");
    QTest::addColumn<QStringList>("said");   // lines the box quotes, and its advice
    QTest::addColumn<QString>("notSaid");
    QTest::newRow("certificate for another host (GnuTLS)")
        << "The certificate's owner does not match hostname ‘docs.example’\n"
        << QStringList{"\n    The certificate's owner does not match hostname ‘docs.example’\n",
                       "certificate was not accepted", "made out to another host name"}
        << "can be reached";
    QTest::newRow("certificate for another host (OpenSSL)")
        << "ERROR: no certificate subject alternative name matches\n\trequested host name ‘docs.example’.\n"
           "To connect to docs.example insecurely, use `--no-check-certificate'.\nUnable to establish SSL connection.\n"
        << QStringList{"\n    ERROR: no certificate subject alternative name matches\n    requested host name",
                       "\n    Unable to establish SSL connection.\n", "certificate was not accepted",
                       "made out to another host name"}
        << "can be reached";
    QTest::newRow("authority not trusted (GNU Wget over OpenSSL)")
        << "ERROR: cannot verify docs.example's certificate, issued by ‘CN=Example CA’:\n"
           "  Unable to locally verify the issuer's authority.\n"
        << QStringList{"authority this system does not trust", "update-ca-certificates"} << "another host name";
    QTest::newRow("not valid yet (quorlix-wget)")
        << "ERROR: cannot verify docs.example's certificate (SSL certificate problem: certificate is not yet valid).\n"
        << QStringList{"expired or is not valid yet"} << "authority";
    QTest::newRow("folder not writable")
        << "/ro/out/docs.example: Permission denied\n"
           "Cannot write to ‘/ro/out/docs.example/index.html’ (Permission denied).\n"
        << QStringList{"The output folder cannot be written", "\n    Cannot write to ‘/ro/out/docs.example/index.html’",
                       "Output DIR"}
        << "address";
}

void TestConversionFlow::downloadFailureSaysWhy()
{
    QFETCH(QString, log);
    QFETCH(QStringList, said);
    QFETCH(QString, notSaid);
    writeFile(QStringLiteral("wget.log"), log.toUtf8());
    mWindow->cmdExecute->click();

    QCOMPARE(mDialogs->messages.size(), size_t(1));
    const QString text = mDialogs->messages[0].text;
    for (const QString &words : said)
        QVERIFY2(text.contains(words), qPrintable(text));
    QVERIFY2(!text.contains(notSaid), qPrintable(text));
    QCOMPARE(argsOf("hhc"), QStringList{"<not run>"});
}

void TestConversionFlow::folderChangedDuringRun()
{
    const QString other = work(QStringLiteral("other"));
    QVERIFY(QDir().mkpath(other));
    mDialogs->folderAnswers = {other};
    writeFile(QStringLiteral("wget.hold"), {});
    ConditionTrigger downloading([&] { return mWindow->outputsText().endsWith(mWgetLog); },
                                 [&] {
                                     mWindow->Dir->click();
                                     writeFile(QStringLiteral("wget.release"), {});
                                 });
    mWindow->cmdExecute->click();

    // The change shows at once; the conversion under way keeps its folder.
    QVERIFY(downloading.fired());
    QCOMPARE(mWindow->Label2->text(), other);
    QVERIFY(mDialogs->messages.empty());
    QVERIFY(readFile(mFolder + "/output.HHP").contains("\r\n[FILES]\r\nh.test/index.html\r\nh.test/a b.html\r\n"));
    QCOMPARE(argsOf("hhc"), QStringList{mFolder + "/output.HHP"});
    QCOMPARE(mDialogs->shellCalls.size(), size_t(1));
    QCOMPARE(mDialogs->shellCalls[0].arguments, QStringList{mFolder + "/output.chm"});
    QCOMPARE(QDir(other).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());

    // The next conversion goes to the new folder.
    QFile::remove(work(QStringLiteral("wget.hold")));
    cannedLogs(other);
    mWindow->cmdExecute->click();
    QCOMPARE(argsOf("wget").mid(7, 1), QStringList{other});
    QCOMPARE(argsOf("hhc"), QStringList{other + "/output.HHP"});
    QCOMPARE(mDialogs->shellCalls.size(), size_t(2));
}

void TestConversionFlow::projectCannotBeWritten()
{
    // A folder in the way of the contents file.
    QVERIFY(QDir(mFolder).mkdir(QStringLiteral("output.hhc")));
    mWindow->cmdExecute->click();

    QCOMPARE(mDialogs->messages.size(), size_t(1));
    const QString text = mDialogs->messages[0].text;
    QVERIFY2(text.contains(mFolder + QStringLiteral("/output.hhc")), qPrintable(text));
    QCOMPARE(mDialogs->messages[0].icon, quorlix::runtime::MsgIcon::Stop);
    QCOMPARE(argsOf("hhc"), QStringList{"<not run>"});
    QVERIFY(mDialogs->shellCalls.empty());
    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
}

void TestConversionFlow::forgedLinesNeverReachTheProject()
{
    // What a server can put into the log (reason phrases, names with CRs),
    // links out of the folder, and project files that are links to a file
    // outside it.
    const QString victim = work(QStringLiteral("authorized_keys"));
    const QByteArray key = "ssh-ed25519 AAAA user@host\n";
    writeFile(QStringLiteral("authorized_keys"), key);
    for (const char *name : {"/output.HHP", "/output.hhc", "/h.test/out-link"})
        QVERIFY(QFile::link(victim, mFolder + QLatin1String(name)));
    writeFile(QStringLiteral("wget.log"),
              (savedLine("http://h.test/", mFolder + "/h.test/index.html") + "http://h.test/robots.txt:\n"
               + "2026-12-07 09:41:18 ERROR 404: Z -> \"" + victim + "\" [1]\n"
               + savedLine("http://h.test/z", "zz\r[OPTIONS]\rCompiled file=" + victim + "\r")
               + savedLine("http://h.test/l", mFolder + "/h.test/out-link")
               + savedLine("http://h.test/u", mFolder + "/h.test/../../authorized_keys")
               + savedLine("http://h.test/a%20b.html", mFolder + "/h.test/a b.html"))
                  .toUtf8());
    mWindow->cmdExecute->click();

    const QByteArray project = readFile(mFolder + "/output.HHP");
    QVERIFY2(project.endsWith("\r\n[FILES]\r\nh.test/index.html\r\nh.test/a b.html\r\n\r\n[INFOTYPES]\r\n\r\n"),
             project.constData());
    QCOMPARE(project.count("[OPTIONS]"), 1);
    QCOMPARE(readFile(victim), key);
    QVERIFY(!QFileInfo(mFolder + "/output.HHP").isSymLink() && !QFileInfo(mFolder + "/output.hhc").isSymLink());
    QVERIFY(mDialogs->messages.empty());
}

void TestConversionFlow::folderWithDoubleQuoteRefused()
{
    const QString folder = work(QStringLiteral("a\" -O \"b"));
    mWindow->Label2->setText(folder);
    mWindow->txtOutputs->setPlainText(QStringLiteral("kept"));
    mWindow->cmdExecute->click();

    QCOMPARE(mDialogs->messages.size(), size_t(1));
    QVERIFY2(mDialogs->messages[0].text.contains(folder), qPrintable(mDialogs->messages[0].text));
    QCOMPARE(argsOf("wget"), QStringList{"<not run>"});
    QCOMPARE(mWindow->outputsText(), QStringLiteral("kept"));
    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
}

void TestConversionFlow::viewerFailureReportedByErrorTrap()
{
    mDialogs->shellSucceeds = false;
    mWindow->cmdExecute->click();

    QCOMPARE(mDialogs->shellCalls.size(), size_t(1));
    QCOMPARE(mDialogs->messages.size(), size_t(1));
    const RecordingDialogs::Message &message = mDialogs->messages[0];
    QCOMPARE(message.text, QStringLiteral("File not found: hh - quorlix - 53"));
    QCOMPARE(message.icon, quorlix::runtime::MsgIcon::None);
    QCOMPARE(message.title, QStringLiteral("quorlix"));
    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
}

QTEST_MAIN(TestConversionFlow)
#include "test_conversion_flow.moc"
