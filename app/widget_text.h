// Texts of the program as the widgets show them: a CR LF line end, the
// program's own, is one line break for Qt.
#pragma once

#include <QString>
#include <string>

namespace quillon {

inline QString WidgetText(const std::string& text)
{
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

}  // namespace quillon
