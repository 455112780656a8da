#include "runs/qt/askprojectdatabase.h"

#include "script/paths.h"
#include "script/scriptfile.h"
#include "script/texts.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <utility>

namespace script {

namespace {

std::function<QString(const ProjectDatabaseQuestion&)>& nextAnswer()
{
    static std::function<QString(const ProjectDatabaseQuestion&)> answer;
    return answer;
}

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

void setNextProjectDatabaseAnswer(std::function<QString(const ProjectDatabaseQuestion&)> answer)
{
    nextAnswer() = std::move(answer);
}

std::optional<std::string> askProjectDatabase(QWidget* parent, std::string_view listingFolder)
{
    const ProjectDatabaseQuestion question{
        fromUtf8(texts::projectDatabaseTitle), fromUtf8(texts::projectDatabaseFilter),
        QFile::decodeName(QByteArray(listingFolder.data(), static_cast<qsizetype>(listingFolder.size())))};
    QString chosen;
    if (auto answer = std::exchange(nextAnswer(), nullptr)) {
        chosen = answer(question);
    } else {
        chosen = QFileDialog::getOpenFileName(parent, question.title, question.folder, question.filter);
    }
    if (chosen.isEmpty())
        return std::nullopt;
    const QByteArray path = QFile::encodeName(QDir::toNativeSeparators(chosen));
    return projectNameFromDatabasePath(std::string_view(path.constData(), static_cast<std::size_t>(path.size())),
                                       nativeSeparator());
}

} // namespace script
