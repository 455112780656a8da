#include "runs/qt/templates.h"

#include "os/editor.h"
#include "os/nativetext.h"
#include "runs/qt/runtexts.h"
#include "settings/settings.h"
#include "widgets/dialogs.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <utility>

ScriptTemplates::ScriptTemplates(Wiring wiring, QObject* parent) : QObject(parent), m_wiring(std::move(wiring)) {}

ScriptTemplates::~ScriptTemplates() = default;

void ScriptTemplates::setTemplateFolder(std::string folder)
{
    m_templateFolder = std::move(folder);
}

QString ScriptTemplates::templateName() const
{
    return m_wiring.cboScr->currentText();
}

QStringList ScriptTemplates::listTemplates(const QString& folder)
{
    if (folder.isEmpty())
        return {};
    return QDir(folder).entryList({QStringLiteral("*.scr")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
}

void ScriptTemplates::loadAtStart()
{
    std::string folder = m_wiring.settings->read(settings::RdsDir);
    // A folder that has gone since the last session would leave an empty list and every run failing.
    if (!QFileInfo(nativeText(folder)).isDir())
        folder = nativeBytes(QDir::toNativeSeparators(nativeText(m_wiring.settings->programFolder())));
    setTemplateFolder(std::move(folder));
    m_wiring.cboScr->setEditText(nativeText(m_wiring.settings->read(settings::LastTemplate)));
    refreshTemplateList();
}

void ScriptTemplates::saveAtClose()
{
    m_wiring.settings->write(settings::LastTemplate, nativeBytes(templateName()));
}

void ScriptTemplates::refreshTemplateList()
{
    QComboBox* box = m_wiring.cboScr;
    const QString remembered = box->currentText();
    const QString folder = nativeText(templateFolder());
    emit folderShown(folder);
    const QStringList names = listTemplates(folder);
    box->clear();
    box->addItems(names);
    if (!names.isEmpty())
        box->setEditText(names.front());
    if (!remembered.isEmpty())
        box->setEditText(remembered);
    emit listRefreshed();
}

void ScriptTemplates::chooseTemplateFolder()
{
    const QString path =
        dialogs::browseForFolder(m_wiring.window, runtexts::templateFolderPrompt(), nativeText(templateFolder()));
    if (path.isEmpty())
        return;
    setTemplateFolder(nativeBytes(path));
    refreshTemplateList();
    m_wiring.settings->write(settings::RdsDir, m_templateFolder);
}

void ScriptTemplates::editTemplate()
{
    const QString name = templateName();
    if (name.isEmpty())
        return;
    // A failed start ends the command quietly; the user sees no editor come up.
    editor::openTextFile(templateFolder(), nativeBytes(name));
}
