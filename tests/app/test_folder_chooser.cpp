// The "Output DIR" chooser: what it asks of the folder dialog, which answers
// change the output folder, and that the real dialog leaves the window usable.

#include "app/MainWindow.h"
#include "runtime/Runtime.h"
#include "support/RecordingDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <QTest>

#include <optional>

using quorlix::MainWindow;
using quorlix::test::RecordingDialogs;

Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

const QString kTitle = QStringLiteral(" Select Output DIR");
const QString kBefore = QStringLiteral("/srv/before here/quorlix");

// What the real dialog and the window looked like while the dialog was open.
struct OpenDialogView {
    bool found = false;
    QString title;
    QFileDialog::FileMode fileMode = QFileDialog::AnyFile;
    bool dirsOnly = false;
    QString directory;
    Qt::WindowModality modality = Qt::ApplicationModal;
    bool hasOwner = true;
    bool modalWidgetActive = true;
    bool modalWindowActive = true;
    bool mainWindowEnabled = false;
    QString typedWhileOpen;
};

QFileDialog *visibleFileDialog()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<QFileDialog *>(widget); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

} // namespace

class TestFolderChooser : public QObject {
    Q_OBJECT

private slots:
    void answerDecidesOutputFolder_data();
    void answerDecidesOutputFolder();
    void dialogIsAskedTheSameEveryTime();
    void clicksAreIndependent();
    // The real dialog, offscreen.
    void realDialog_data();
    void realDialog();
};

void TestFolderChooser::answerDecidesOutputFolder_data()
{
    QTest::addColumn<std::optional<QString>>("answer");
    QTest::addColumn<QString>("expected");

    QTest::newRow("a folder") << std::optional<QString>(QStringLiteral("/home/ann/help"))
                              << QStringLiteral("/home/ann/help");
    QTest::newRow("blanks kept, no quotes")
        << std::optional<QString>(QStringLiteral("/home/ann/My Help Files/ site "))
        << QStringLiteral("/home/ann/My Help Files/ site ");
    QTest::newRow("the same folder again") << std::optional<QString>(kBefore) << kBefore;
    QTest::newRow("the file-system root") << std::optional<QString>(QStringLiteral("/"))
                                          << QStringLiteral("/");
    QTest::newRow("cancel") << std::optional<QString>() << kBefore;
    QTest::newRow("failure: no path") << std::optional<QString>(QString()) << kBefore;
    QTest::newRow("not a full path") << std::optional<QString>(QStringLiteral("help/site"))
                                     << kBefore;
}

void TestFolderChooser::answerDecidesOutputFolder()
{
    QFETCH(std::optional<QString>, answer);
    QFETCH(QString, expected);

    RecordingDialogs dialogs;
    MainWindow window;
    window.Label2->setText(kBefore);
    dialogs.folderAnswers.push_back(answer);

    window.Dir->click();

    QCOMPARE(window.Label2->text(), expected);
    QCOMPARE(dialogs.folderDialogs.size(), size_t(1));
    QVERIFY2(dialogs.messages.empty(), "the chooser never shows a message");
}

void TestFolderChooser::dialogIsAskedTheSameEveryTime()
{
    // Title with its leading blank, and always the home folder as the start,
    // never the current output folder.
    RecordingDialogs dialogs;
    MainWindow window;
    dialogs.folderAnswers = {QStringLiteral("/tmp/first choice"), std::nullopt};

    window.Dir->click();
    window.Dir->click();

    QCOMPARE(dialogs.folderDialogs.size(), size_t(2));
    for (const auto &[title, root] : dialogs.folderDialogs) {
        QCOMPARE(title, kTitle);
        QCOMPARE(root, QDir::homePath());
    }
}

void TestFolderChooser::clicksAreIndependent()
{
    // A cancel after a choice keeps the choice; a later choice replaces it.
    RecordingDialogs dialogs;
    MainWindow window;
    window.Label2->setText(kBefore);
    dialogs.folderAnswers = {QStringLiteral("/data/one"), std::nullopt, QString(),
                             QStringLiteral("/data/two")};

    QStringList captions;
    for (int click = 0; click < 4; ++click) {
        window.Dir->click();
        captions << window.Label2->text();
    }

    QCOMPARE(captions, (QStringList{QStringLiteral("/data/one"), QStringLiteral("/data/one"),
                                    QStringLiteral("/data/one"), QStringLiteral("/data/two")}));
}

void TestFolderChooser::realDialog_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("folderName"); // made in a temporary folder

    QTest::newRow("cancelled") << false << QString();
    QTest::newRow("folder with blanks chosen") << true << QStringLiteral("My Help Files");
}

void TestFolderChooser::realDialog()
{
    QFETCH(bool, accept);
    QFETCH(QString, folderName);

    QTemporaryDir base;
    QVERIFY(base.isValid());
    const QString folder = base.path() + QLatin1Char('/') + folderName;
    if (accept)
        QVERIFY(QDir().mkpath(folder));

    quorlix::runtime::setDialogs(nullptr); // the real dialog
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.Label2->setText(kBefore);
    window.txtCommand->setFocus();

    // Looks at the dialog once it is up, types into the window through the
    // window system meanwhile (input a modal dialog would swallow), then
    // closes it. Gives up after many tries and closes every window, so a
    // dialog that never shows fails the test instead of hanging it.
    OpenDialogView seen;
    int tries = 0;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QFileDialog *dialog = visibleFileDialog();
        if (!dialog && ++tries < 500)
            return;
        poll.stop();
        if (!dialog) {
            QApplication::closeAllWindows();
            return;
        }
        seen.found = true;
        seen.title = dialog->windowTitle();
        seen.fileMode = dialog->fileMode();
        seen.dirsOnly = dialog->testOption(QFileDialog::ShowDirsOnly);
        seen.directory = dialog->directory().absolutePath();
        seen.modality = dialog->windowModality();
        seen.hasOwner = dialog->parentWidget() != nullptr;
        seen.modalWidgetActive = QApplication::activeModalWidget() != nullptr;
        seen.modalWindowActive = QGuiApplication::modalWindow() != nullptr;
        seen.mainWindowEnabled = window.isEnabled();
        for (const char key : {'o', 'k'})
            QTest::keyClick(window.windowHandle(), key);
        seen.typedWhileOpen = window.txtCommand->text();
        // As a user types the folder's full path into the name box.
        auto *nameBox = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (accept && nameBox) {
            nameBox->setText(folder);
            static_cast<QDialog *>(dialog)->accept(); // as its Choose button does
        } else {
            dialog->reject();
        }
    });
    poll.start();

    window.Dir->click();

    QVERIFY2(seen.found, "the folder dialog never showed");
    QCOMPARE(seen.title, kTitle);
    QCOMPARE(seen.fileMode, QFileDialog::Directory);
    QVERIFY(seen.dirsOnly);
    QCOMPARE(seen.directory, QDir(QDir::homePath()).absolutePath());
    QCOMPARE(seen.modality, Qt::NonModal);
    QVERIFY(!seen.hasOwner);
    QVERIFY2(!seen.modalWidgetActive && !seen.modalWindowActive,
             "the dialog must not block the main window");
    QVERIFY(seen.mainWindowEnabled);
    QCOMPARE(seen.typedWhileOpen, QStringLiteral("ok"));
    QCOMPARE(window.Label2->text(), accept ? folder : kBefore);
    QVERIFY2(!visibleFileDialog(), "the dialog is gone once the click is handled");
}

QTEST_MAIN(TestFolderChooser)
#include "test_folder_chooser.moc"
