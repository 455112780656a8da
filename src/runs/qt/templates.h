#pragma once

#include <QObject>
#include <QString>
#include <string>

class QComboBox;
class QWidget;
class Settings;

// The script templates: the *.scr files of the template folder, listed in the template box cboScr. The
// template folder (the hidden list "FileScr") belongs to this object; others ask for it.
class ScriptTemplates final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScriptTemplates)

public:
    struct Wiring
    {
        QWidget* window = nullptr; // owner of the dialogs
        QComboBox* cboScr = nullptr;
        Settings* settings = nullptr;
    };

    explicit ScriptTemplates(Wiring wiring, QObject* parent = nullptr);
    ~ScriptTemplates() override;

    // At start-up: the template folder from "RdsDir" (the program folder when that folder is gone), the box
    // text from "LastTemplate", then the list.
    void loadAtStart();
    // At close: the box text as "LastTemplate", for the next start.
    void saveAtClose();

    // Re-reads the folder into the box's list. The box keeps the text it had, also when that name is not
    // in the folder; an empty box shows the first template.
    void refreshTemplateList();
    // Lets the user pick another template folder; a cancelled dialog changes nothing. The choice is
    // stored at once.
    void chooseTemplateFolder();
    // Opens the chosen template in the text editor; nothing when the box is empty.
    void editTemplate();

    // The template folder, as the file system takes it.
    const std::string& templateFolder() const { return m_templateFolder; }
    // Takes folder as the template folder; the list is read again only by a refresh.
    void setTemplateFolder(std::string folder);
    // The text of the template box.
    QString templateName() const;

    // The *.scr files of folder (plain, not hidden; the extension without regard to case), in alphabetical
    // order without regard to case.
    static QStringList listTemplates(const QString& folder);

signals:
    // A refresh is about to list folder: the controls that show the template folder show this one.
    void folderShown(const QString& folder);
    // A refresh has filled the box; its width may have changed.
    void listRefreshed();

private:
    Wiring m_wiring;
    std::string m_templateFolder;
};
