// Addresses and output folders that a user may type or choose, run through
// the window with a recording stand-in downloader and the real help compiler:
// the downloader gets exactly the words the command line gives, no shell ever
// interprets anything, a refused folder gets a clear message, and nothing
// already in the output folder is lost but output.HHP and output.chm, which
// are replaced.

#include "app/MainWindow.h"
#include "pipeline/DownloadCommand.h"
#include "support/FileBytes.h"
#include "support/RecordingDialogs.h"
#include "support/ScratchCheckout.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using quorlix::MainWindow;
using quorlix::test::RecordingDialogs;
using quorlix::test::ScratchCheckout;
using quorlix::test::fileBytes;

namespace {

using quorlix::test::writeFile;

// What a shell would run if it ever saw the address or the folder; each
// would leave a file whose name contains "pwned".
const QString kShellBait = QStringLiteral("$(touch pwned1) `touch pwned2` ; touch pwned3 | touch pwned4 "
                                          "&& touch pwned5 > pwned6 'touch pwned7'");

// Files a user already has in the output folder, and what they hold.
const QList<std::pair<QString, QByteArray>> kExistingFiles{
    {QStringLiteral("notes.txt"), "my notes\n"},
    {QStringLiteral("older site/index.html"), "<html>an earlier mirror</html>\n"},
    {QStringLiteral("output.HHP"), "an earlier project\r\n"},
    {QStringLiteral("output.chm"), "an earlier help file"},
};

QList<QByteArray> local8Bit(const QStringList &words)
{
    QList<QByteArray> bytes;
    for (const QString &word : words)
        bytes << word.toLocal8Bit();
    return bytes;
}

} // namespace

class TestBadInput : public QObject {
    Q_OBJECT
private slots:
    void downloaderGetsExactWords_data();
    void downloaderGetsExactWords();
    void folderWithQuoteRefused_data();
    void folderWithQuoteRefused();
};

void TestBadInput::downloaderGetsExactWords_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("folderName"); // below the scratch folder
    QTest::addColumn<bool>("folderExists");
    QTest::addColumn<QStringList>("addressWords");

    const QString site = QStringLiteral("http://127.0.0.1:9/");
    const QString longAddress = site + QString(100 * 1024, QLatin1Char('a'));
    QTest::newRow("empty address") << QString() << "out" << true << QStringList();
    QTest::newRow("address with blanks") << site + QStringLiteral("a b  c\td") << "out" << true
                                         << QStringList{site + QStringLiteral("a"), "b", "c", "d"};
    QTest::newRow("address with blanks around it") << QStringLiteral("  ") + site + QStringLiteral(" ") << "out"
                                                   << true << QStringList{site};
    QTest::newRow("address with double quotes")
        << QStringLiteral("\"%1a b\" c\"d e\" \"\"").arg(site) << "out" << true
        << QStringList{site + QStringLiteral("a b"), "cd e", ""};
    QTest::newRow("address with an unclosed quote") << site + QStringLiteral("\"a  b") << "out" << true
                                                    << QStringList{site + QStringLiteral("a  b")};
    QTest::newRow("address with non-ASCII characters")
        << site + QStringLiteral("café/日本語 ñ.html") << "out" << true
        << QStringList{site + QStringLiteral("café/日本語"), QStringLiteral("ñ.html")};
    QTest::newRow("address 100 KB long") << longAddress << "out" << true << QStringList{longAddress};
    QTest::newRow("address a shell would run")
        << kShellBait << "out" << true << kShellBait.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QTest::newRow("folder with blanks") << site << "out  dir " << true << QStringList{site};
    QTest::newRow("folder with non-ASCII characters") << site << "sortie é 日本" << true << QStringList{site};
    QTest::newRow("folder a shell would run") << site << "$(touch pwned8) `touch pwned9`; touch pwned10" << true
                                              << QStringList{site};
    QTest::newRow("folder not yet existing") << site << "new/deeper/out" << false << QStringList{site};
}

void TestBadInput::downloaderGetsExactWords()
{
    QFETCH(QString, address);
    QFETCH(QString, folderName);
    QFETCH(bool, folderExists);
    QFETCH(QStringList, addressWords);

    ScratchCheckout scratch;
    QVERIFY(scratch.isValid());
    scratch.addStandin(QStringLiteral("wget"));
    scratch.set(QStringLiteral("wget"), QStringLiteral("SAVE"), QStringLiteral("2"));
    scratch.addReal(QStringLiteral("hhc"));
    const QString folder = scratch.path(folderName);
    if (folderExists)
        for (const auto &[name, bytes] : kExistingFiles)
            writeFile(QDir(folder).filePath(name), bytes);

    RecordingDialogs dialogs;
    MainWindow window;
    window.Label2->setText(folder);
    window.txtCommand->setText(address);
    window.cmdExecute->click();

    QCOMPARE(window.cmdExecute->text(), QStringLiteral("Execute"));
    QVERIFY2(dialogs.messages.empty(), qPrintable(dialogs.messages.empty() ? QString() : dialogs.messages[0].text));

    // Exactly the words of the command line, nothing added, joined or lost.
    const QStringList expected = QStringList{QStringLiteral("-U"), QLatin1String(quorlix::pipeline::kUserAgent),
                                             QStringLiteral("-r"), QStringLiteral("-nv"), QStringLiteral("-np"),
                                             QStringLiteral("--random-wait"), QStringLiteral("-P"), folder}
                                 + addressWords;
    const auto arguments = scratch.arguments(QStringLiteral("wget"));
    QVERIFY(arguments.has_value());
    QCOMPARE(arguments->size(), expected.size());
    QCOMPARE(arguments->value(8).size(), expected.value(8).toLocal8Bit().size());
    QCOMPARE(*arguments, local8Bit(expected));

    QCOMPARE(scratch.find(QStringLiteral("pwned[0-9]+")), QStringList());

    // The earlier files are all there; the project and the help file are new.
    for (const auto &[name, bytes] : kExistingFiles) {
        const QByteArray now = fileBytes(QDir(folder).filePath(name));
        if (name.startsWith(QLatin1String("output.")))
            QVERIFY2(!now.isEmpty() && now != bytes, qPrintable(name));
        else if (folderExists)
            QCOMPARE(now, bytes);
    }
    QVERIFY(fileBytes(QDir(folder).filePath(QStringLiteral("output.HHP")))
                .startsWith("[OPTIONS]\r\nCompatibility=1.1 or later\r\nCompiled file=" + folder.toLocal8Bit()
                            + "/output.chm\r\nDefault topic=site/page1.html\r\n"));
    QVERIFY(fileBytes(QDir(folder).filePath(QStringLiteral("output.chm"))).startsWith("ITSF"));
    QDir outputDir(folder);
    QStringList expectedEntries{QStringLiteral("output.HHP"), QStringLiteral("output.chm"), QStringLiteral("output.hhc"),
                                QStringLiteral("output.hhk"), QStringLiteral("site")};
    if (folderExists)
        expectedEntries << QStringLiteral("notes.txt") << QStringLiteral("older site");
    expectedEntries.sort();
    QCOMPARE(outputDir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
             expectedEntries);

    // The viewer gets the compiled file's path whole, blanks and all.
    QCOMPARE(dialogs.shellCalls.size(), std::size_t(1));
    QCOMPARE(dialogs.shellCalls[0].program, QStringLiteral("hh"));
    QCOMPARE(dialogs.shellCalls[0].arguments, QStringList{folder + QStringLiteral("/output.chm")});
}

void TestBadInput::folderWithQuoteRefused_data()
{
    QTest::addColumn<QString>("folderName");
    QTest::newRow("a quote inside") << "out\"dir";
    QTest::newRow("only a quote") << "\"";
    QTest::newRow("a quote that would smuggle in arguments") << "out\" -O \"evil";
}

void TestBadInput::folderWithQuoteRefused()
{
    QFETCH(QString, folderName);
    ScratchCheckout scratch;
    QVERIFY(scratch.isValid());
    scratch.addStandin(QStringLiteral("wget"));
    scratch.addStandin(QStringLiteral("hhc"));
    const QString folder = scratch.path(folderName);

    RecordingDialogs dialogs;
    MainWindow window;
    window.Label2->setText(folder);
    window.txtCommand->setText(QStringLiteral("http://127.0.0.1:9/"));
    window.txtOutputs->setPlainText(QStringLiteral("the previous conversion's log"));
    window.cmdExecute->click();

    QCOMPARE(dialogs.messages.size(), std::size_t(1));
    QCOMPARE(dialogs.messages[0].icon, quorlix::runtime::MsgIcon::Stop);
    QCOMPARE(dialogs.messages[0].title, QStringLiteral("quorlix"));
    QVERIFY(dialogs.messages[0].text.contains(QStringLiteral("double quote")));
    QVERIFY(dialogs.messages[0].text.contains(folder));
    QCOMPARE(window.cmdExecute->text(), QStringLiteral("Execute"));
    QCOMPARE(window.txtOutputs->toPlainText(), QStringLiteral("the previous conversion's log"));
    QVERIFY(!scratch.arguments(QStringLiteral("wget")).has_value());
    QVERIFY(!scratch.arguments(QStringLiteral("hhc")).has_value());
    QVERIFY(dialogs.shellCalls.empty());
    QCOMPARE(QDir(scratch.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"bin"});
}

QTEST_MAIN(TestBadInput)
#include "test_bad_input.moc"
