#include "runtime/QtDialogs.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>

#include <cstdio>
#include <unistd.h>

namespace quorlix::runtime {

void QtDialogs::messageBox(const QString &text, MsgIcon icon, const QString &title)
{
    // No parent: like the platform's own boxes it stands on its own, and it
    // stays modal for the whole application.
    QMessageBox box(icon == MsgIcon::Stop ? QMessageBox::Critical : QMessageBox::NoIcon,
                    title, text, QMessageBox::Ok);
    box.exec();
}

std::optional<QString> QtDialogs::browseForFolder(const QString &title, const QString &root)
{
    // No owner and not modal: the main window goes on taking clicks and
    // keys while the dialog is open, so the call waits in an event loop of
    // its own rather than in exec(), which would block every other window.
    QFileDialog dialog(nullptr, title, root);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setWindowModality(Qt::NonModal);

    // What the dialog accepted, as it said so: asked afterwards it may
    // answer with whatever its view shows by then.
    QStringList chosen;
    QObject::connect(&dialog, &QFileDialog::filesSelected,
                     [&chosen](const QStringList &files) { chosen = files; });

    QEventLoop untilClosed;
    bool closed = false;
    QObject::connect(&dialog, &QDialog::finished, &untilClosed, [&closed, &untilClosed] {
        closed = true;
        untilClosed.quit();
    });
    dialog.show();
    if (!closed)
        untilClosed.exec(); // also left when the application quits

    if (!closed || dialog.result() != QDialog::Accepted)
        return std::nullopt;
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return std::nullopt;
    const QFileInfo info(chosen.first());
    if (!info.isAbsolute() || !info.isDir())
        return std::nullopt;
    return info.absoluteFilePath();
}

bool QtDialogs::shellRun(const QString &program, const QStringList &arguments)
{
    // The opener is expected to hand the file to a viewer and return; when
    // it cannot, it says why on standard error and exits non-zero, and that
    // reason is shown to the user.
    auto *process = new QProcess(qApp);
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->start(program, arguments);
    if (!process->waitForStarted()) {
        delete process;
        return false;
    }
    QObject::connect(process, &QProcess::finished, process,
                     [process, program](int exitCode, QProcess::ExitStatus status) {
                         const QString why = QString::fromLocal8Bit(process->readAllStandardError()).trimmed();
                         process->deleteLater();
                         if (status == QProcess::NormalExit && exitCode == 0)
                             return;
                         QString text = QStringLiteral("The help viewer could not be opened.");
                         if (!why.isEmpty())
                             text += QStringLiteral("\n\n") + why;
                         MsgBox(text, MsgIcon::Stop);
                     });
    return true;
}

void QtDialogs::endProgram(int code)
{
    // At once: no event loop, no destructors, nothing waited for.
    std::fflush(nullptr);
    ::_exit(code);
}

} // namespace quorlix::runtime
