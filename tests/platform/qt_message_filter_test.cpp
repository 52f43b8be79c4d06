#include "platform/qt_message_filter.h"

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace quillon {
namespace {

QStringList received;

void Record(QtMsgType, const QMessageLogContext&, const QString& message)
{
    received.append(message);
}

TEST(QtMessageFilter, OnlyTheRuntimeFolderNoticeIsLeftOut)
{
    const QtMessageHandler original = qInstallMessageHandler(Record);
    InstallQtMessageFilter();
    qWarning("QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to '/tmp/runtime-root'");
    qWarning("QStandardPaths: wrong permissions on runtime directory /tmp/x");
    qInstallMessageHandler(original);
    EXPECT_EQ(received,
              QStringList{"QStandardPaths: wrong permissions on runtime directory /tmp/x"});
}

}  // namespace
}  // namespace quillon
