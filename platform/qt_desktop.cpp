#include "platform/qt_desktop.h"

#include <QApplication>
#include <QMessageBox>

namespace quillon {

void QtDesktop::ShowMessage(const std::string& text, const std::string& title, MessageIcon icon)
{
    QMessageBox box(icon == MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                    title.empty() ? QApplication::applicationName() : QString::fromStdString(title),
                    QString::fromStdString(text), QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

void QtDesktop::Beep()
{
    QApplication::beep();
}

void QtDesktop::SetWaitCursor(bool on)
{
    // Override cursors stack; keep exactly one of ours on the stack.
    if (on == waitCursor_) return;
    waitCursor_ = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

}  // namespace quillon
