#pragma once

#include <QString>
#include <functional>
#include <string>

class QComboBox;
class QWidget;
class Settings;

// The script templates: the *.scr files of the template folder, listed in the template box cboScr.
class ScriptTemplates final
{
public:
    // Sets a command-bar control's description text and, unless tooltip is null, its tooltip text.
    using ControlTexts = std::function<void(int id, const QString& description, const QString& tooltip)>;

    struct Wiring
    {
        QWidget* window = nullptr; // owner of the dialogs
        QComboBox* cboScr = nullptr;
        Settings* settings = nullptr;
        std::function<std::string()> templateFolder;                   // bytes, as the file system takes them
        std::function<void(const std::string&)> setTemplateFolder;
        ControlTexts setControlTexts;   // may be empty while there are no command bars
        std::function<void()> arrange;  // lays out the main window anew
    };

    static constexpr int templateFolderId = 910; // "S&ökväg scriptmallar"
    static constexpr int templateBoxId = 911;    // the control that hosts cboScr

    explicit ScriptTemplates(Wiring wiring);
    ScriptTemplates(const ScriptTemplates&) = delete;
    ScriptTemplates& operator=(const ScriptTemplates&) = delete;

    // At start-up: the template folder from "RdsDir" (the program folder when that folder is gone), the box
    // text from "LastTemplate", then the list.
    void loadAtStart();

    // Re-reads the folder into the box's list. The box keeps the text it had, also when that name is not
    // in the folder; an empty box shows the first template.
    void refreshTemplateList();
    // Lets the user pick another template folder; a cancelled dialog changes nothing. The choice is
    // stored at once.
    void chooseTemplateFolder();
    // Opens the chosen template in the text editor; nothing when the box is empty.
    void editTemplate();

    std::string templateFolder() const { return m_wiring.templateFolder(); }
    // The text of the template box.
    QString templateName() const;

    // The *.scr files of folder (plain, not hidden; the extension without regard to case), in alphabetical
    // order without regard to case.
    static QStringList listTemplates(const QString& folder);

private:
    Wiring m_wiring;
};
