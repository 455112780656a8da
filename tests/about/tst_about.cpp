// The About box: its texts, links, colouring and the way to the system-information program.
#include "about/aboutbox.h"
#include "about/captionlabel.h"
#include "about/sysinfo.h"
#include "about/texts.h"
#include "about/toolbarcolour.h"
#include "about/version.h"
#include "widgets/messagebox.h"
#include "widgets/standinuser.h"
#include "widgets/twips.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>
#include <memory>

namespace {

struct Shown
{
    QString text;
    QString title;
    messagebox::Icon icon;
};

const QColor themeA(0xd6, 0xdb, 0xe9);
const QColor themeB(0xc8, 0x00, 0xc8);

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    StandInUser m_user;
    QList<Shown> m_shown;
    QList<QUrl> m_opened;
    QList<about::Program> m_started;
    bool m_startSucceeds = true;
    QByteArray m_path;

    // A box whose links and program start are recorded instead of reaching the desktop.
    std::unique_ptr<AboutBox> recordedBox(QWidget* owner = nullptr, const QColor& colour = themeA)
    {
        auto box = std::make_unique<AboutBox>(owner, colour);
        box->setUrlOpener([this](const QUrl& url) {
            m_opened.append(url);
            return true;
        });
        box->setProgramStarter([this](const about::Program& program) {
            m_started.append(program);
            return m_startSucceeds;
        });
        return box;
    }

    // An executable file (mode 0755) in the test folder.
    QString program(const QString& name, const QByteArray& content = "#!/bin/sh\nexit 0\n")
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return {};
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                            QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        return path;
    }

    template <typename T> static T* control(QWidget* box, const char* name)
    {
        return box->findChild<T*>(QLatin1String(name));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString()));
        m_path = qgetenv("PATH");
        m_user.showMessage = [this](const StandInUser::Message& shown) {
            m_shown.append({shown.text, shown.title, shown.icon});
        };
    }

    void cleanupTestCase()
    {
        m_user.showMessage = nullptr;
        qputenv("PATH", m_path);
    }

    void init()
    {
        m_shown.clear();
        m_opened.clear();
        m_started.clear();
        m_startSucceeds = true;
        QDir dir(m_dir.path());
        for (const QString& name : dir.entryList(QDir::Files))
            dir.remove(name);
        // No system-information program unless a test puts one here.
        qputenv("PATH", QFile::encodeName(m_dir.path()));
    }

    void versionText_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("revision");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("subject");

        QTest::newRow("1.0.1") << 1 << 0 << 1 << QStringLiteral("Version 1.00a") << QStringLiteral("Version 1.0");
        QTest::newRow("2.10.0") << 2 << 10 << 0 << QStringLiteral("Version 2.10") << QStringLiteral("Version 2.10");
        QTest::newRow("3.7.26") << 3 << 7 << 26 << QStringLiteral("Version 3.07z") << QStringLiteral("Version 3.7");
        QTest::newRow("past z") << 1 << 123 << 27 << QStringLiteral("Version 1.123{")
                                << QStringLiteral("Version 1.123");
        QTest::newRow("no printable character") << 1 << 0 << 31 << QStringLiteral("Version 1.00.31")
                                                << QStringLiteral("Version 1.0");
        QTest::newRow("beyond Latin-1") << 1 << 0 << 400 << QStringLiteral("Version 1.00.400")
                                        << QStringLiteral("Version 1.0");
    }

    // The version label and the mail subject write the same numbers in their two ways.
    void versionText()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, revision);
        QFETCH(QString, text);
        QFETCH(QString, subject);
        const about::Version version{major, minor, revision};
        QCOMPARE(about::versionText(version), text);

        const QUrl link = about::mailLink(QStringLiteral("info@brannoc.example"), version);
        QCOMPARE(link.scheme(), QStringLiteral("mailto"));
        QCOMPARE(link.path(), QStringLiteral("info@brannoc.example"));
        QCOMPARE(QUrlQuery(link).queryItemValue(QStringLiteral("Subject"), QUrl::FullyDecoded),
                 QStringLiteral("Vendrel - ") + subject);
    }

    void captions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("shown");

        QTest::newRow("one ampersand") << QStringLiteral("A & B") << QStringLiteral("A && B")
                                       << QStringLiteral("A & B");
        QTest::newRow("two") << QStringLiteral("A & B & C") << QStringLiteral("A && B && C")
                             << QStringLiteral("A & B & C");
        QTest::newRow("access key stays a key") << QStringLiteral("A&B") << QStringLiteral("A&B")
                                                << QStringLiteral("AB");
        QTest::newRow("none") << QStringLiteral("Brannoc") << QStringLiteral("Brannoc") << QStringLiteral("Brannoc");
    }

    void captions()
    {
        QFETCH(QString, text);
        QFETCH(QString, caption);
        QFETCH(QString, shown);
        QCOMPARE(about::labelCaption(text), caption);
        QCOMPARE(about::shownText(caption), shown);
    }

    // What a newly opened box shows, and that OK closes it with Enter or Esc.
    void loadedBox()
    {
        QWidget owner;
        QPixmap pixmap(32, 32);
        pixmap.fill(Qt::darkCyan);
        owner.setWindowIcon(QIcon(pixmap));
        const auto box = recordedBox(&owner);

        QCOMPARE(box->windowTitle(), QStringLiteral("Om Vendrel"));
        QCOMPARE(box->windowIcon().cacheKey(), owner.windowIcon().cacheKey());
        QCOMPARE(control<CaptionLabel>(box.get(), "lblTitle")->text(), QStringLiteral("Vendrel"));
        QCOMPARE(control<CaptionLabel>(box.get(), "lblVersion")->text(), about::versionText(about::programVersion()));
        QCOMPARE(control<CaptionLabel>(box.get(), "lblDescription")->text(),
                 QStringLiteral("Scriptgenerator för DWG- och DXF-filer."));

        // The copyright holds "& ": its caption doubles it and the label shows it once.
        const auto* copyright = control<CaptionLabel>(box.get(), "lblCopyright");
        QVERIFY(about::texts::copyright.contains(QStringLiteral("& ")));
        QVERIFY(copyright->caption().contains(QStringLiteral("&& ")));
        QCOMPARE(copyright->text(), about::texts::copyright);

        QCOMPARE(control<QWidget>(box.get(), "lblTitle")->font().pointSizeF(), 9.75);
        QVERIFY(control<QWidget>(box.get(), "lblTitle")->font().bold());
        QCOMPARE(control<QWidget>(box.get(), "lblDisclaimer")->font().pointSizeF(), 6.75);
        QCOMPARE(control<QWidget>(box.get(), "lblVersion")->font().pointSizeF(), 8.25);
        QCOMPARE(control<QWidget>(box.get(), "LblMail")->palette().color(QPalette::WindowText), QColor(0, 0, 255));

        // Its own size is its least; the texts decide whether it grows (textsFit).
        const double dpi = twips::logicalDpi(&owner);
        QVERIFY(box->width() >= twips::toPixels(7035, dpi));
        QVERIFY(box->height() >= twips::toPixels(2625, dpi));
        QCOMPARE(box->minimumSize(), box->maximumSize());

        auto* ok = control<QPushButton>(box.get(), "cmdOK");
        QVERIFY(ok->isDefault());
        QCOMPARE(control<QPushButton>(box.get(), "cmdSysInfo")->text(), QStringLiteral("&System Info..."));
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
            box->show();
            QVERIFY(QTest::qWaitForWindowExposed(box.get()));
            QTest::keyClick(box.get(), key);
            QVERIFY2(!box->isVisible(), qPrintable(QKeySequence(key).toString()));
        }
        QVERIFY(m_opened.isEmpty());
    }

    void textsFit_data()
    {
        QTest::addColumn<double>("scale");
        QTest::newRow("its own fonts") << 1.0;
        QTest::newRow("fonts twice as large") << 2.0;
        QTest::newRow("fonts three times as large") << 3.0;
    }

    // Every text is whole in its control and no control runs into another, whatever the font: the box grows.
    void textsFit()
    {
        QFETCH(double, scale);
        QWidget owner;
        const auto box = recordedBox(&owner);
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        const QList<QWidget*> controls = box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (QWidget* control : controls) {
            QFont font = control->font();
            font.setPointSizeF(font.pointSizeF() * scale);
            control->setFont(font);
        }
        QCoreApplication::sendPostedEvents(box.get(), QEvent::LayoutRequest);

        QList<QWidget*> texts;
        for (QWidget* control : controls) {
            const auto* label = qobject_cast<QLabel*>(control);
            if (label && !label->text().isEmpty()) {
                const QSize needed = label->wordWrap() ? QSize(0, label->heightForWidth(label->width()))
                                                       : label->sizeHint();
                QVERIFY2(needed.width() <= label->width() && needed.height() <= label->height(),
                         qPrintable(label->objectName()));
                texts.append(control);
            } else if (qobject_cast<QPushButton*>(control)) {
                const QSize needed = control->sizeHint();
                QVERIFY2(needed.width() <= control->width() && needed.height() <= control->height(),
                         qPrintable(control->objectName()));
                texts.append(control);
            }
        }
        QCOMPARE(texts.size(), 9);
        for (const QWidget* a : texts) {
            QVERIFY2(box->rect().contains(a->geometry()), qPrintable(a->objectName()));
            for (const QWidget* b : texts) {
                QVERIFY2(a == b || !a->geometry().intersects(b->geometry()),
                         qPrintable(a->objectName() + QStringLiteral(" / ") + b->objectName()));
            }
        }
        const double dpi = twips::logicalDpi(&owner);
        QVERIFY(box->width() >= twips::toPixels(7035, dpi) && box->height() >= twips::toPixels(2625, dpi));
        QCOMPARE(box->minimumSize(), box->maximumSize());
    }

    void links_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QString>("opened");

        const QString mail = QStringLiteral("mailto:info@brannoc.example?Subject=Vendrel - Version %1.%2")
                                 .arg(VENDREL_VERSION_MAJOR)
                                 .arg(VENDREL_VERSION_MINOR);
        const QString web = QStringLiteral("https://www.brannoc.example/vendrel");
        QTest::newRow("mail, left click") << QStringLiteral("LblMail") << Qt::LeftButton << mail;
        QTest::newRow("mail, right button is no click") << QStringLiteral("LblMail") << Qt::RightButton << QString();
        QTest::newRow("web, left") << QStringLiteral("Lblwww") << Qt::LeftButton << web;
        QTest::newRow("web, right") << QStringLiteral("Lblwww") << Qt::RightButton << web;
        QTest::newRow("web, middle") << QStringLiteral("Lblwww") << Qt::MiddleButton << web;
    }

    void links()
    {
        QFETCH(QString, label);
        QFETCH(Qt::MouseButton, button);
        QFETCH(QString, opened);
        const auto box = recordedBox();
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        QTest::mouseClick(box->findChild<QWidget*>(label), button);
        if (opened.isEmpty()) {
            QVERIFY(m_opened.isEmpty());
        } else {
            QCOMPARE(m_opened.size(), 1);
            QCOMPARE(m_opened[0].toString(QUrl::PrettyDecoded), opened);
        }
        QVERIFY(box->isVisible());
    }

    void colourByName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("painted");

        QTest::newRow("label") << QStringLiteral("lblTitle") << true;
        QTest::newRow("label, capital") << QStringLiteral("LblMail") << true;
        QTest::newRow("frame") << QStringLiteral("fraFileSelection") << true;
        QTest::newRow("picture box") << QStringLiteral("picBanner") << true;
        QTest::newRow("short name") << QStringLiteral("cm") << true;
        QTest::newRow("button") << QStringLiteral("cmdOK") << false;
        QTest::newRow("button, capitals") << QStringLiteral("CMDSysInfo") << false;
        QTest::newRow("slider") << QStringLiteral("sliZoom") << false;
        QTest::newRow("text box") << QStringLiteral("txtAcad") << false;
        QTest::newRow("image") << QStringLiteral("imgIcon") << false;
        QTest::newRow("line") << QStringLiteral("Line1") << false;
    }

    // The name decides; a later theme's colour replaces the earlier one everywhere it was painted.
    void colourByName()
    {
        QFETCH(QString, name);
        QFETCH(bool, painted);
        QWidget window;
        QWidget holder(&window);
        holder.setObjectName(QStringLiteral("fraHolder"));
        auto* child = new QWidget(&holder); // nested controls count too
        child->setObjectName(name);

        for (const QColor& colour : {themeA, themeB}) {
            applyToolbarColour(&window, colour);
            QCOMPARE(window.palette().color(QPalette::Window), colour);
            QCOMPARE(child->autoFillBackground(), painted);
            QCOMPARE(child->testAttribute(Qt::WA_SetPalette), painted);
            if (painted)
                QCOMPARE(child->palette().color(QPalette::Window), colour);
        }
    }

    // On screen: a box opened after a theme change shows the new colour behind its texts, not on its buttons.
    void colourOnScreen()
    {
        for (const QColor& colour : {themeA, themeB}) {
            const auto box = recordedBox(nullptr, colour);
            box->show();
            QVERIFY(QTest::qWaitForWindowExposed(box.get()));
            const QImage image = box->grab().toImage();
            const qreal ratio = image.devicePixelRatio();
            auto pixel = [&](const QWidget* at, QPoint offset) {
                return QColor(image.pixel(at->mapTo(box.get(), offset) * ratio));
            };
            const auto* copyright = control<QWidget>(box.get(), "lblCopyright");
            const auto* ok = control<QWidget>(box.get(), "cmdOK");
            QCOMPARE(pixel(copyright, QPoint(copyright->width() - 2, copyright->height() - 2)), colour);
            QCOMPARE(pixel(box.get(), QPoint(box->width() - 2, 2)), colour);
            QVERIFY(pixel(ok, QPoint(ok->width() / 2, 3)) != colour);
        }
    }

    void firstSysInfoProgramOnPath()
    {
        const std::vector<about::SysInfoCandidate>& table = about::sysInfoCandidates();
        if (table.size() < 2)
            QSKIP("this platform finds its system-information program another way");
        // A later entry on the path is passed over for an earlier one; a file that cannot run is no program.
        const QString second = program(QString::fromLatin1(table[1].name));
        const QString last = program(QString::fromLatin1(table.back().name));
        QFile notExecutable(m_dir.filePath(QString::fromLatin1(table[0].name)));
        QVERIFY(notExecutable.open(QIODevice::WriteOnly));
        notExecutable.close();

        const auto found = about::firstOnPath(table, {m_dir.path()});
        QVERIFY(found);
        QCOMPARE(found->path, second);
        QCOMPARE(found->arguments, table[1].arguments);
        QVERIFY(QFile::remove(second));
        QCOMPARE(about::firstOnPath(table, {m_dir.path()})->path, last);
        QVERIFY(QFile::remove(last));
        QVERIFY(!about::firstOnPath(table, {m_dir.path()}));
    }

    // System Info: the program found is started; when there is none, or it does not start, the one message.
    void systemInfoButton()
    {
        const std::vector<about::SysInfoCandidate>& table = about::sysInfoCandidates();
        if (table.empty())
            QSKIP("this platform finds its system-information program another way");
        const Shown unavailable{QStringLiteral("System Information Is Unavailable At This Time"),
                                QStringLiteral("Vendrel"), messagebox::Icon::None};
        auto checkShown = [&](bool expected) {
            QCOMPARE(m_shown.size(), expected ? 1 : 0);
            if (expected) {
                QCOMPARE(m_shown[0].text, unavailable.text);
                QCOMPARE(m_shown[0].title, unavailable.title);
                QVERIFY(m_shown[0].icon == messagebox::Icon::None);
            }
            m_shown.clear();
        };
        const auto box = recordedBox();
        auto* sysInfo = control<QPushButton>(box.get(), "cmdSysInfo");

        sysInfo->click(); // nothing on the path
        QVERIFY(m_started.isEmpty());
        checkShown(true);

        const QString path = program(QString::fromLatin1(table.back().name));
        sysInfo->click();
        QCOMPARE(m_started.size(), 1);
        QCOMPARE(m_started[0], (about::Program{path, table.back().arguments}));
        checkShown(false);

        m_startSucceeds = false;
        sysInfo->click();
        QCOMPARE(m_started.size(), 2);
        checkShown(true);
    }

    // A real start of a program that the system cannot run ends in the message too.
    void systemInfoStartFails()
    {
        const std::vector<about::SysInfoCandidate>& table = about::sysInfoCandidates();
        if (table.empty())
            QSKIP("this platform finds its system-information program another way");
        QVERIFY(!program(QString::fromLatin1(table[0].name), QByteArray("\x7f" "ELF not a program", 18)).isEmpty());
        about::startSysInfo(nullptr);
        QCOMPARE(m_shown.size(), 1);
        QCOMPARE(m_shown[0].text, QStringLiteral("System Information Is Unavailable At This Time"));
    }

    void msinfoFromRegistry_data()
    {
        QTest::addColumn<QString>("pathValue");   // "-" = absent
        QTest::addColumn<QString>("folderValue"); // "-" = absent, "dir" = the test folder
        QTest::addColumn<bool>("folderHoldsProgram");
        QTest::addColumn<QString>("expected"); // "" = none, "dir" = MSINFO32.EXE in the test folder

        const QString absent = QStringLiteral("-");
        const QString given = QStringLiteral("C:\\Program Files\\Common Files\\msinfo32.exe");
        QTest::newRow("program path given") << given << absent << false << given;
        QTest::newRow("path wins over folder") << given << QStringLiteral("dir") << true << given;
        QTest::newRow("folder holds the program") << absent << QStringLiteral("dir") << true << QStringLiteral("dir");
        QTest::newRow("empty path, folder holds it") << QString() << QStringLiteral("dir") << true
                                                     << QStringLiteral("dir");
        QTest::newRow("folder lacks the program") << absent << QStringLiteral("dir") << false << QString();
        QTest::newRow("both absent") << absent << absent << false << QString();
    }

    void msinfoFromRegistry()
    {
        QFETCH(QString, pathValue);
        QFETCH(QString, folderValue);
        QFETCH(bool, folderHoldsProgram);
        QFETCH(QString, expected);
        if (folderHoldsProgram)
            QVERIFY(!program(QStringLiteral("MSINFO32.EXE")).isEmpty());
        auto value = [this](const QString& text) -> std::optional<std::string> {
            if (text == u'-')
                return std::nullopt;
            return (text == QStringLiteral("dir") ? m_dir.path() : text).toStdString();
        };
        const auto found = about::msinfoProgram([&](std::string_view key, std::string_view name) {
            if (key == "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO" && name == "PATH")
                return value(pathValue);
            if (key == "SOFTWARE\\Microsoft\\Shared Tools Location" && name == "MSINFO")
                return value(folderValue);
            return std::optional<std::string>();
        });
        if (expected.isEmpty()) {
            QVERIFY(!found);
            return;
        }
        QVERIFY(found);
        QCOMPARE(found->path, expected == QStringLiteral("dir")
                                  ? QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("MSINFO32.EXE")))
                                  : expected);
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
