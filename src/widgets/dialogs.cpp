#include "widgets/dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <utility>

namespace dialogs {

namespace {

std::function<QString(const Question&)>& nextAnswer()
{
    static std::function<QString(const Question&)> answer;
    return answer;
}

} // namespace

void setNextAnswer(std::function<QString(const Question&)> answer)
{
    nextAnswer() = std::move(answer);
}

QString browseForFolder(QWidget* owner, const QString& prompt, const QString& preselect)
{
    QString chosen;
    if (auto answer = std::exchange(nextAnswer(), nullptr))
        chosen = answer({prompt, QString(), preselect});
    else
        chosen = QFileDialog::getExistingDirectory(owner, prompt, preselect);
    return chosen.isEmpty() ? QString() : QDir::toNativeSeparators(chosen);
}

QString openFile(QWidget* owner, const QString& title, const QString& filter, const QString& initial)
{
    QString chosen;
    if (auto answer = std::exchange(nextAnswer(), nullptr))
        chosen = answer({title, filter, initial});
    else
        chosen = QFileDialog::getOpenFileName(owner, title, initial, filter);
    return chosen.isEmpty() ? QString() : QDir::toNativeSeparators(chosen);
}

QString saveFile(QWidget* owner, const QString& title, const QString& filter, const QString& initial)
{
    QString chosen;
    if (auto answer = std::exchange(nextAnswer(), nullptr))
        chosen = answer({title, filter, initial});
    else
        chosen = QFileDialog::getSaveFileName(owner, title, initial, filter);
    return chosen.isEmpty() ? QString() : QDir::toNativeSeparators(chosen);
}

} // namespace dialogs
