#include "app/qtmessages.h"

#include <QString>
#include <QtGlobal>
#include <windows.h>

namespace {

void toDebugger(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const QString line = qFormatLogMessage(type, context, message) + u'\n';
    OutputDebugStringW(reinterpret_cast<const wchar_t*>(line.utf16()));
}

} // namespace

void routeQtMessages()
{
    qInstallMessageHandler(toDebugger);
}
