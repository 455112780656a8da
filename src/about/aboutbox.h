#pragma once

#include "about/sysinfo.h"

#include <QDialog>
#include <functional>

class CaptionLabel;
class QLabel;
class QPushButton;
class QUrl;

namespace about {

// Opens a mail or web address with the desktop's default handler; false when nothing could take it.
using UrlOpener = std::function<bool(const QUrl&)>;
bool openWithDefaultHandler(const QUrl& url);

// The address the web link opens for the text it shows (an address without a scheme is a web page).
QUrl webLink(const QString& shown);

} // namespace about

// frmAbout: the program's name, version and legal texts, the maker's mail and web links, and the way to
// the operating system's system-information program. Created for one opening; keeps nothing between them.
class AboutBox final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AboutBox)

public:
    // owner: the main window, whose icon the box shows. toolbarFaceColour: the current theme's colour.
    AboutBox(QWidget* owner, const QColor& toolbarFaceColour);
    ~AboutBox() override;

    // Where the links and the system-information program go; tests record them instead.
    void setUrlOpener(about::UrlOpener opener);
    void setProgramStarter(about::ProgramStarter starter);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void placeControls();
    void load(const QColor& toolbarFaceColour);
    void openLink(const QUrl& url);

    about::UrlOpener m_openUrl;
    about::ProgramStarter m_startProgram;

    QWidget* m_picBanner = nullptr;
    QLabel* m_imgIcon = nullptr;
    CaptionLabel* m_lblTitle = nullptr;
    CaptionLabel* m_lblVersion = nullptr;
    CaptionLabel* m_lblDescription = nullptr;
    QWidget* m_line1 = nullptr;
    CaptionLabel* m_lblDisclaimer = nullptr;
    CaptionLabel* m_lblCopyright = nullptr;
    CaptionLabel* m_lblMail = nullptr;
    CaptionLabel* m_lblwww = nullptr;
    QPushButton* m_cmdSysInfo = nullptr;
    QPushButton* m_cmdOK = nullptr;
};

// ShowAboutBox: opens a new About box modally over owner and returns when it is closed.
void showAboutBox(QWidget* owner, const QColor& toolbarFaceColour);
