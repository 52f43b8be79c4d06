#include "platform/qt_message_filter.h"

#include <QString>
#include <QtGlobal>

namespace quillon {

namespace {

QtMessageHandler previousHandler = nullptr;

void FilterMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith("QStandardPaths: XDG_RUNTIME_DIR not set"))
        return;
    if (previousHandler) previousHandler(type, context, message);
}

}  // namespace

void InstallQtMessageFilter()
{
    if (previousHandler) return;
    previousHandler = qInstallMessageHandler(FilterMessage);
}

}  // namespace quillon
