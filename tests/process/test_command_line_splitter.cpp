// How a console command line becomes the program to start and its arguments.

#include "pipeline/DownloadCommand.h"
#include "process/CommandLineSplitter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using quorlix::process::ResolveProgram;
using quorlix::process::SplitCommandLine;

class TestCommandLineSplitter : public QObject {
    Q_OBJECT
private slots:
    void splitsWords_data();
    void splitsWords();
    void downloadCommandLineSplitsIntoItsArguments();
    void resolvesProgramWord_data();
    void resolvesProgramWord();
    void prefersProgramInWorkingDirectory();
    void findsBareNameOnPath();
};

void TestCommandLineSplitter::splitsWords_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("words");

    QTest::newRow("blanks") << "a b  c" << QStringList{"a", "b", "c"};
    QTest::newRow("tabs") << "a\tb\t\tc" << QStringList{"a", "b", "c"};
    QTest::newRow("leading and trailing blanks") << "  \t a b \t " << QStringList{"a", "b"};
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("only blanks") << " \t  " << QStringList{};
    QTest::newRow("quotes group") << "\"a b\" c" << QStringList{"a b", "c"};
    QTest::newRow("quoted tab") << "\"a\tb\"" << QStringList{"a\tb"};
    QTest::newRow("quotes inside a word") << "x\"a b\"y z" << QStringList{"xa by", "z"};
    QTest::newRow("empty quote pair") << "\"\"" << QStringList{""};
    QTest::newRow("empty quote pair between words") << "a \"\" b" << QStringList{"a", "", "b"};
    QTest::newRow("two quote pairs") << "\"\"\"\"" << QStringList{""};
    QTest::newRow("backslash is plain") << "a\\b c\\" << QStringList{"a\\b", "c\\"};
    QTest::newRow("backslash before closing quote stays")
        << "\"C:\\my dir\\\" next" << QStringList{"C:\\my dir\\", "next"};
    QTest::newRow("backslash before opening quote does not escape it")
        << "a\\\"b c\"" << QStringList{"a\\b c"};
    QTest::newRow("unclosed quote runs to the end") << "a \"b c" << QStringList{"a", "b c"};
    QTest::newRow("other characters kept") << "-P 'x' <y> |z" << QStringList{"-P", "'x'", "<y>", "|z"};
}

void TestCommandLineSplitter::splitsWords()
{
    QFETCH(QString, line);
    QFETCH(QStringList, words);
    QCOMPARE(SplitCommandLine(line), words);
}

void TestCommandLineSplitter::downloadCommandLineSplitsIntoItsArguments()
{
    const QString folder = QStringLiteral("/home/some user/my docs\\quorlix");
    const QString line = quorlix::pipeline::DownloadCommandLine(folder, QStringLiteral("http://127.0.0.1:8080/a b"));
    const QStringList expected{
        "bin\\wget",
        "-U",
        "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0)",
        "-r",
        "-nv",
        "-np",
        "--random-wait",
        "-P",
        folder,
        "http://127.0.0.1:8080/a",
        "b",
    };
    const QStringList words = SplitCommandLine(line);
    QCOMPARE(words, expected);
    QCOMPARE(ResolveProgram(words.first(), QStringLiteral("/work/checkout")), QStringLiteral("/work/checkout/bin/wget"));
}

void TestCommandLineSplitter::resolvesProgramWord_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("resolved");

    QTest::newRow("relative with backslash") << "bin\\wget" << "/wd/bin/wget";
    QTest::newRow("relative with slash") << "bin/hhc" << "/wd/bin/hhc";
    QTest::newRow("dot folders kept") << "..\\tools\\x" << "/wd/../tools/x";
    QTest::newRow("absolute") << "/usr/bin/env" << "/usr/bin/env";
    QTest::newRow("absolute with backslashes") << "\\usr\\bin\\env" << "/usr/bin/env";
    QTest::newRow("missing bare name") << "no-such-program-quorlix" << "/wd/no-such-program-quorlix";
}

void TestCommandLineSplitter::resolvesProgramWord()
{
    QFETCH(QString, word);
    QFETCH(QString, resolved);
    QCOMPARE(ResolveProgram(word, QStringLiteral("/wd")), resolved);
}

void TestCommandLineSplitter::prefersProgramInWorkingDirectory()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A program of the same name as one on PATH: the working directory's wins.
    const QString local = dir.filePath(QStringLiteral("sh"));
    QFile file(local);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n");
    file.close();
    QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
    QCOMPARE(ResolveProgram(QStringLiteral("sh"), dir.path()), local);

    // Without its execute bit it is not a program: PATH is searched instead.
    QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QVERIFY(ResolveProgram(QStringLiteral("sh"), dir.path()) != local);
}

void TestCommandLineSplitter::findsBareNameOnPath()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString found = ResolveProgram(QStringLiteral("sh"), dir.path());
    QVERIFY2(QDir::isAbsolutePath(found) && found.endsWith(QStringLiteral("/sh")), qPrintable(found));
    QVERIFY(QFileInfo(found).isExecutable());
}

QTEST_APPLESS_MAIN(TestCommandLineSplitter)
#include "test_command_line_splitter.moc"
