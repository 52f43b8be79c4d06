#include "platform/qt_desktop.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <sstream>
#include <vector>

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

std::string QtNameFilters(const std::string& filter)
{
    std::vector<std::string> parts;
    std::stringstream pieces(filter);
    for (std::string piece; std::getline(pieces, piece, '|');) parts.push_back(piece);
    std::string qtFilters;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (!qtFilters.empty()) qtFilters += ";;";
        const std::string& description = parts[i];
        const std::string bracketed = "(" + parts[i + 1] + ")";
        const bool named = description.size() >= bracketed.size() &&
                           description.compare(description.size() - bracketed.size(),
                                               bracketed.size(), bracketed) == 0;
        qtFilters += named ? description : description + " " + bracketed;
    }
    return qtFilters;
}

std::string QtDesktop::AskSaveFileName(const std::string& filter, const std::string& suggestedName)
{
    return AskSaveFile(filter, suggestedName).path;
}

SaveChoice QtDesktop::AskSaveFile(const std::string& filter, const std::string& suggestedName)
{
    const QString filters = QString::fromStdString(QtNameFilters(filter));
    QString selected;
    SaveChoice choice;
    // A bare name is offered in the dialog's present folder.
    choice.path =
        QFileDialog::getSaveFileName(QApplication::activeWindow(), QString(),
                                     QString::fromStdString(suggestedName), filters, &selected)
            .toStdString();
    const qsizetype type = filters.split(";;").indexOf(selected);
    if (type > 0) choice.type = static_cast<std::size_t>(type);
    return choice;
}

bool QtDesktop::AskYesNo(const std::string& text, const std::string& title)
{
    return QMessageBox::question(QApplication::activeWindow(), QString::fromStdString(title),
                                 QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

std::vector<std::string> QtDesktop::AskOpenFileNames(const std::string& filter)
{
    std::vector<std::string> names;
    for (const QString& name :
         QFileDialog::getOpenFileNames(QApplication::activeWindow(), QString(), QString(),
                                       QString::fromStdString(QtNameFilters(filter))))
        names.push_back(name.toStdString());
    return names;
}

std::optional<std::string> QtDesktop::AskText(const std::string& prompt, const std::string& title,
                                              const std::string& initial)
{
    bool accepted = false;
    const QString text = QInputDialog::getText(
        QApplication::activeWindow(), QString::fromStdString(title), QString::fromStdString(prompt),
        QLineEdit::Normal, QString::fromStdString(initial), &accepted);
    if (!accepted) return std::nullopt;
    return text.toStdString();
}

}  // namespace quillon
