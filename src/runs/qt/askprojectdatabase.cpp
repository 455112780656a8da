#include "runs/qt/askprojectdatabase.h"

#include "script/paths.h"
#include "script/scriptfile.h"
#include "script/texts.h"
#include "widgets/dialogs.h"

#include <QDir>
#include <QFile>

namespace script {

namespace {

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

std::optional<std::string> askProjectDatabase(QWidget* parent, std::string_view listingFolder)
{
    const QString chosen = dialogs::openFile(
        parent, fromUtf8(texts::projectDatabaseTitle), fromUtf8(texts::projectDatabaseFilter),
        QFile::decodeName(QByteArray(listingFolder.data(), static_cast<qsizetype>(listingFolder.size()))));
    if (chosen.isEmpty())
        return std::nullopt;
    const QByteArray path = QFile::encodeName(QDir::toNativeSeparators(chosen));
    return projectNameFromDatabasePath(std::string_view(path.constData(), static_cast<std::size_t>(path.size())),
                                       nativeSeparator());
}

} // namespace script
