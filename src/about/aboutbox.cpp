#include "about/aboutbox.h"

#include "about/appicon.h"
#include "about/captionlabel.h"
#include "about/texts.h"
#include "about/toolbarcolour.h"
#include "about/version.h"
#include "widgets/twips.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QUrl>
#include <algorithm>

namespace {

// The client area and every control's place in it, in twips.
constexpr int clientWidth = 7035;
constexpr int clientHeight = 2625;

struct Place
{
    const char* name;
    int left;
    int top;
    int width;
    int height;
};

constexpr Place places[] = {
    {"picBanner", 0, 0, 840, clientHeight},
    {"imgIcon", 1080, 240, 480, 480},
    {"lblTitle", 1740, 180, 4200, 300},
    {"lblVersion", 1740, 480, 4200, 240},
    {"lblDescription", 1740, 720, 5100, 240},
    {"Line1", 1080, 1095, 5805, 30},
    {"lblDisclaimer", 1080, 1215, 4440, 420},
    {"lblCopyright", 1080, 1680, 4440, 240},
    {"LblMail", 1080, 2265, 1860, 240},
    {"Lblwww", 3060, 2265, 2520, 240},
    {"cmdSysInfo", 5640, 1680, 1245, 345},
    {"cmdOK", 5640, 2130, 1245, 345},
};

const QColor linkColour(0, 0, 255);
const QColor lineDark(128, 128, 128);
const QColor lineLight(255, 255, 255);

// Tahoma where the system has it; otherwise the nearest sans serif it does have.
QFont tahoma(double points, bool bold = false)
{
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// The decorative column at the left edge: a strip of drafting paper in the icon's blue.
class BannerPicture final : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QLinearGradient ground(0, 0, 0, height());
        ground.setColorAt(0, QColor(0x3a, 0x7b, 0xc8));
        ground.setColorAt(1, QColor(0x1b, 0x4a, 0x8a));
        painter.fillRect(rect(), ground);

        const int step = qMax(4, width() / 7);
        painter.setPen(QColor(255, 255, 255, 28));
        for (int x = step / 2; x < width(); x += step)
            painter.drawLine(x, 0, x, height());
        for (int y = step / 2; y < height(); y += step)
            painter.drawLine(0, y, width(), y);

        // A stack of sheets, the drawings a run works through.
        painter.setRenderHint(QPainter::Antialiasing);
        const int sheetWidth = width() * 5 / 9;
        const int sheetHeight = sheetWidth * 4 / 3;
        const int offset = qMax(2, width() / 14);
        for (int i = 2; i >= 0; --i) {
            const QRectF sheet(width() / 2.0 - sheetWidth / 2.0 + (i - 1) * offset,
                               height() - sheetHeight - width() / 3.0 - i * offset, sheetWidth, sheetHeight);
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(255, 255, 255, i == 0 ? 235 : 90));
            painter.drawRoundedRect(sheet, 2, 2);
        }
    }
};

// Line1: the etched separator, a dark grey line with a white one just below it.
class EtchedLine final : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(lineDark);
        painter.drawLine(0, 0, width() - 1, 0);
        painter.setPen(lineLight);
        painter.drawLine(0, 1, width() - 1, 1);
    }
};

CaptionLabel* newLabel(QWidget* parent, const QFont& font)
{
    auto* label = new CaptionLabel(parent);
    label->setFont(font);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

} // namespace

void CaptionLabel::setCaption(const QString& caption)
{
    m_caption = caption;
    setText(about::shownText(caption));
}

namespace about {

bool openWithDefaultHandler(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

QUrl webLink(const QString& shown)
{
    const QUrl url(shown);
    if (!url.scheme().isEmpty())
        return url;
    return QUrl(QStringLiteral("https://") + shown);
}

} // namespace about

AboutBox::AboutBox(QWidget* owner, const QColor& toolbarFaceColour)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint),
      m_openUrl(about::openWithDefaultHandler), m_startProgram(about::startDetached)
{
    setObjectName(QStringLiteral("frmAbout"));
    setModal(true);
    createControls();
    placeControls();
    load(toolbarFaceColour);
    // Again with the texts in place.
    placeControls();
}

AboutBox::~AboutBox() = default;

void AboutBox::setUrlOpener(about::UrlOpener opener)
{
    m_openUrl = std::move(opener);
}

void AboutBox::setProgramStarter(about::ProgramStarter starter)
{
    m_startProgram = std::move(starter);
}

void AboutBox::createControls()
{
    m_picBanner = new BannerPicture(this);
    m_imgIcon = new QLabel(this);
    m_imgIcon->setAlignment(Qt::AlignCenter);

    m_lblTitle = newLabel(this, tahoma(9.75, true));
    m_lblVersion = newLabel(this, tahoma(8.25));
    m_lblDescription = newLabel(this, tahoma(8.25));
    m_line1 = new EtchedLine(this);
    m_lblDisclaimer = newLabel(this, tahoma(6.75));
    m_lblDisclaimer->setWordWrap(true);
    m_lblCopyright = newLabel(this, tahoma(6.75));

    m_lblMail = newLabel(this, tahoma(8.25));
    m_lblwww = newLabel(this, tahoma(8.25));
    for (CaptionLabel* link : {m_lblMail, m_lblwww}) {
        QPalette palette = link->palette();
        palette.setColor(QPalette::WindowText, linkColour);
        link->setPalette(palette);
        link->setCursor(Qt::PointingHandCursor);
        link->installEventFilter(this);
    }

    m_cmdSysInfo = new QPushButton(about::texts::systemInfo, this);
    m_cmdSysInfo->setFont(tahoma(8.25));
    m_cmdSysInfo->setAutoDefault(false);
    connect(m_cmdSysInfo, &QPushButton::clicked, this, [this] { about::startSysInfo(this, m_startProgram); });

    m_cmdOK = new QPushButton(about::texts::ok, this);
    m_cmdOK->setFont(tahoma(8.25));
    // Default button: Enter closes the box; QDialog takes Esc as its cancel.
    m_cmdOK->setDefault(true);
    connect(m_cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    m_picBanner->setObjectName(QStringLiteral("picBanner"));
    m_imgIcon->setObjectName(QStringLiteral("imgIcon"));
    m_lblTitle->setObjectName(QStringLiteral("lblTitle"));
    m_lblVersion->setObjectName(QStringLiteral("lblVersion"));
    m_lblDescription->setObjectName(QStringLiteral("lblDescription"));
    m_line1->setObjectName(QStringLiteral("Line1"));
    m_lblDisclaimer->setObjectName(QStringLiteral("lblDisclaimer"));
    m_lblCopyright->setObjectName(QStringLiteral("lblCopyright"));
    m_lblMail->setObjectName(QStringLiteral("LblMail"));
    m_lblwww->setObjectName(QStringLiteral("Lblwww"));
    m_cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));

    // Tab order as the box reads: OK first, so Enter and Esc act on it at once.
    setTabOrder(m_cmdOK, m_cmdSysInfo);
    m_cmdOK->setFocus();
}

namespace {

const Place& place(const char* name)
{
    for (const Place& p : places) {
        if (qstrcmp(p.name, name) == 0)
            return p;
    }
    Q_UNREACHABLE();
}

// A control's place grown to what its text needs; a word-wrapped label keeps its width and grows downwards.
QRect fitted(const QWidget* control, QRect rect)
{
    const auto* label = qobject_cast<const QLabel*>(control);
    if (label && label->wordWrap()) {
        rect.setHeight(qMax(rect.height(), label->heightForWidth(rect.width())));
        return rect;
    }
    const QSize needed = control->sizeHint();
    rect.setSize(rect.size().expandedTo(needed));
    return rect;
}

} // namespace

void AboutBox::placeControls()
{
    // Every control stands at its place in the box's own twips, as long as its text fits there. A text that
    // needs more room (another font, another DPI) gets it, and what lies below or to the right moves along by
    // as much, so the gaps stay; the box grows with them and never gets smaller than its own size.
    const double dpi = twips::logicalDpi(parentWidget() ? parentWidget() : this);
    auto pixels = [dpi](int value) { return twips::toPixels(value, dpi); };
    auto at = [&](const char* name, int dx = 0, int dy = 0) {
        const Place& p = place(name);
        return QRect(pixels(p.left) + dx, pixels(p.top) + dy, pixels(p.width), pixels(p.height));
    };
    // How far a control's right and bottom edges lie beyond where its place puts them.
    auto grownRight = [&](const char* name, const QRect& r) { return r.right() - at(name).right(); };
    auto grownBottom = [&](const char* name, const QRect& r) { return r.bottom() - at(name).bottom(); };

    const QRect title = fitted(m_lblTitle, at("lblTitle"));
    const QRect version = fitted(m_lblVersion, at("lblVersion", 0, grownBottom("lblTitle", title)));
    const QRect description = fitted(m_lblDescription, at("lblDescription", 0, grownBottom("lblVersion", version)));
    const int below = grownBottom("lblDescription", description);

    // The disclaimer wraps within the width the copyright line needs.
    const QRect copyrightAlone = fitted(m_lblCopyright, at("lblCopyright"));
    QRect disclaimer = at("lblDisclaimer", 0, below);
    disclaimer.setWidth(copyrightAlone.width());
    disclaimer = fitted(m_lblDisclaimer, disclaimer);
    const QRect copyright = copyrightAlone.translated(0, grownBottom("lblDisclaimer", disclaimer));
    const QRect mail = fitted(m_lblMail, at("LblMail", 0, grownBottom("lblCopyright", copyright)));
    const QRect www =
        fitted(m_lblwww, at("Lblwww", qMax(0, grownRight("LblMail", mail)), mail.top() - at("LblMail").top()));

    // The buttons stand to the right of every text beside them.
    const int textsRight = std::max({0, grownRight("lblCopyright", copyright), grownRight("Lblwww", www)});
    const int buttonWidth = qMax(fitted(m_cmdSysInfo, at("cmdSysInfo")).width(), fitted(m_cmdOK, at("cmdOK")).width());
    QRect sysInfo = fitted(m_cmdSysInfo, at("cmdSysInfo", textsRight, copyright.top() - at("lblCopyright").top()));
    sysInfo.setWidth(buttonWidth);
    QRect ok = fitted(m_cmdOK, at("cmdOK", textsRight, grownBottom("cmdSysInfo", sysInfo)));
    ok.setWidth(buttonWidth);

    // The margins at the right and bottom edges are those of the box's own size.
    const int rightMargin = pixels(clientWidth) - 1 - at("cmdOK").right();
    const int bottomMargin = pixels(clientHeight) - 1 - at("LblMail").bottom();
    int width = pixels(clientWidth);
    int height = pixels(clientHeight);
    for (const QRect& r : {title, version, description, disclaimer, copyright, sysInfo, ok, mail, www})
        width = qMax(width, r.right() + 1 + rightMargin);
    for (const QRect& r : {mail, www})
        height = qMax(height, r.bottom() + 1 + bottomMargin);
    height = qMax(height, ok.bottom() + 1 + pixels(clientHeight) - 1 - at("cmdOK").bottom());

    QRect line = at("Line1", 0, below);
    line.setRight(width - 1 - rightMargin);
    QRect banner = at("picBanner");
    banner.setHeight(height);

    m_picBanner->setGeometry(banner);
    m_imgIcon->setGeometry(at("imgIcon"));
    m_lblTitle->setGeometry(title);
    m_lblVersion->setGeometry(version);
    m_lblDescription->setGeometry(description);
    m_line1->setGeometry(line);
    m_lblDisclaimer->setGeometry(disclaimer);
    m_lblCopyright->setGeometry(copyright);
    m_cmdSysInfo->setGeometry(sysInfo);
    m_cmdOK->setGeometry(ok);
    m_lblMail->setGeometry(mail);
    m_lblwww->setGeometry(www);
    setFixedSize(width, height);
}

bool AboutBox::event(QEvent* event)
{
    // A control whose font or text changed asks for room again.
    if (event->type() == QEvent::LayoutRequest)
        placeControls();
    return QDialog::event(event);
}

void AboutBox::load(const QColor& toolbarFaceColour)
{
    const about::Version version = about::programVersion();
    const QString title = about::applicationTitle();
    m_lblVersion->setCaption(about::versionText(version));
    m_lblTitle->setCaption(title);
    m_lblDescription->setCaption(about::texts::description);
    m_lblCopyright->setCaption(about::labelCaption(about::texts::copyright));
    m_lblDisclaimer->setCaption(about::texts::disclaimer);
    m_lblMail->setCaption(about::texts::mailAddress);
    m_lblwww->setCaption(about::texts::webAddress);
    setWindowTitle(about::texts::windowTitlePrefix + title);

    QIcon icon = parentWidget() ? parentWidget()->window()->windowIcon() : QApplication::windowIcon();
    if (icon.isNull())
        icon = applicationIcon();
    setWindowIcon(icon);
    const int iconSize = m_imgIcon->width();
    m_imgIcon->setPixmap(icon.pixmap(QSize(iconSize, iconSize), devicePixelRatio()));

    applyToolbarColour(this, toolbarFaceColour);
}

bool AboutBox::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && (watched == m_lblMail || watched == m_lblwww)) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const auto* label = static_cast<QWidget*>(watched);
        if (label->rect().contains(mouse->position().toPoint())) {
            // The mail link answers a click (the left button); the web link any button let go over it.
            if (watched == m_lblwww)
                openLink(about::webLink(m_lblwww->text()));
            else if (mouse->button() == Qt::LeftButton)
                openLink(about::mailLink(m_lblMail->text(), about::programVersion()));
        }
    }
    return QDialog::eventFilter(watched, event);
}

void AboutBox::openLink(const QUrl& url)
{
    // What the system does with an address it cannot handle is the system's to show; the box stays open.
    m_openUrl(url);
}

void showAboutBox(QWidget* owner, const QColor& toolbarFaceColour)
{
    AboutBox box(owner, toolbarFaceColour);
    box.exec();
}
