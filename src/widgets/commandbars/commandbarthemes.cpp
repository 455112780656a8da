#include "widgets/commandbars/commandbarthemes.h"

#include <algorithm>
#include <array>
#include <utility>

namespace commandbarthemes {
namespace {

// One theme. Gradients run from the first colour at the top to the second at the bottom.
struct ThemeRow
{
    QRgb face;
    QRgb text;
    QRgb barTop, barBottom, barBorder;
    QRgb separator, separatorLight;
    QRgb hoverTop, hoverBottom, hoverBorder, hoverText;
    QRgb pressedTop, pressedBottom;
    QRgb checked;
    QRgb menuBack, menuBorder, menuSelBack, menuSelBorder, menuSelText;
    QRgb statusTop, statusBottom, statusText, paneBorder;
    QRgb editBack, editBorder;
    int radius;    // hover and pressed boxes, menu items
    int barRadius; // the toolbars themselves
    // Rules that give the theme what colours alone cannot (three-dimensional edges, for one).
    const char* extra;
};

// clang-format off
constexpr std::array<ThemeRow, count> rows{{
    // 0 "Standard": the classic grey look with raised and sunken edges.
    {0xd4d0c8, 0x000000,
     0xd4d0c8, 0xd4d0c8, 0xd4d0c8,
     0x808080, 0xffffff,
     0xd4d0c8, 0xd4d0c8, 0x808080, 0x000000,
     0xc8c4bc, 0xc8c4bc,
     0xe8e6e1,
     0xd4d0c8, 0x808080, 0x0a246a, 0x0a246a, 0xffffff,
     0xd4d0c8, 0xd4d0c8, 0x000000, 0x808080,
     0xffffff, 0x808080,
     0, 0,
     "QToolBar { border-color: #ffffff #808080 #808080 #ffffff; }"
     "QToolBar QToolButton:hover { border-color: #ffffff #808080 #808080 #ffffff; }"
     "QToolBar QToolButton:pressed, QToolBar QToolButton:checked { border-color: #808080 #ffffff #ffffff #808080; }"
     "QMenu { border-color: #ffffff #404040 #404040 #ffffff; }"
     "QToolBar QLineEdit, QToolBar QComboBox { border-color: #808080 #ffffff #ffffff #808080; }"
     "QStatusBar QLabel { border-color: #808080 #ffffff #ffffff #808080; }"},
    // 1 "Office XP": light, flat bars with blue-grey accents.
    {0xe8e8ec, 0x000000,
     0xf8f8fa, 0xdcdce3, 0xb4b4c0,
     0xa6a6b4, 0xffffff,
     0xc1d2ee, 0xc1d2ee, 0x316ac5, 0x000000,
     0x98b5e2, 0x98b5e2,
     0xe1e6f0,
     0xfcfcfd, 0x7c7c94, 0xc1d2ee, 0x316ac5, 0x000000,
     0xe8e8ec, 0xdcdce3, 0x000000, 0xb4b4c0,
     0xffffff, 0xa4a4b8,
     0, 2,
     ""},
    // 2 "Office 2003": light blue gradient bars, warm orange hover.
    {0xa9c8f0, 0x000000,
     0xe3effe, 0x9ebff6, 0x3b619c,
     0x6a8ccb, 0xffffff,
     0xfff4cc, 0xffd88a, 0x000080, 0x000000,
     0xfe9c54, 0xffd08b,
     0xffd591,
     0xf6f6f6, 0x002d96, 0xffeec2, 0x000080, 0x000000,
     0xe3effe, 0xa6c5f4, 0x000000, 0x6f9ddc,
     0xffffff, 0x7f9db9,
     0, 4,
     ""},
    // 3 "Normal XP": the beige of the classic XP desktop with olive accents.
    {0xece9d8, 0x000000,
     0xfefefb, 0xe0ddc8, 0xa2a283,
     0xc5c2b2, 0xffffff,
     0xeef0e0, 0xcdd5a9, 0x8c9a5e, 0x000000,
     0xc9d0a6, 0xb8c192,
     0xe7ead6,
     0xfffffb, 0x8c8a6e, 0x93a070, 0x6f7c4f, 0xffffff,
     0xece9d8, 0xe0dcc5, 0x000000, 0xaca899,
     0xffffff, 0xa0a07e,
     2, 3,
     ""},
    // 4 "Visual Studio 2005": warm light beige bars, dark selection and status bar.
    {0xf6f4ec, 0x1e1e1e,
     0xfdfcf9, 0xe6e2d4, 0x9d998a,
     0xb5b09f, 0xffffff,
     0xeae5d5, 0xdcd5c0, 0x3c3c3c, 0x000000,
     0xcbc3ab, 0xcbc3ab,
     0xddd6c2,
     0xfcfbf8, 0x55544f, 0x4b4a45, 0x2d2d2a, 0xffffff,
     0x55544f, 0x3f3e3a, 0xf2efe4, 0x77756c,
     0xffffff, 0x8a8678,
     0, 2,
     ""},
    // 5 "Office 2007": soft blue bars, rounded golden hover.
    {0xd6e5f5, 0x15428b,
     0xf1f6fc, 0xcfdff2, 0x9ebbdd,
     0xa5bfdd, 0xffffff,
     0xfffbe6, 0xffdf7a, 0xdbce99, 0x15428b,
     0xfcc16f, 0xfda74e,
     0xfde4a5,
     0xfafafa, 0x97a8bd, 0xfff1c2, 0xe5c365, 0x000000,
     0xe2ecf8, 0xc7d9f0, 0x15428b, 0x9ebbdd,
     0xffffff, 0xabc1de,
     3, 4,
     ""},
}};
// clang-format on

// Tokens are filled longest name first, so that no name is a prefix of one filled before it.
constexpr const char* sheetTemplate = R"(
QMenuBar { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 @barTop, stop:1 @barBottom);
    color: @text; border-bottom: 1px solid @barBorder; padding: 1px; }
QMenuBar::item { background: transparent; padding: 3px 8px; border: 1px solid transparent;
    border-radius: @radiuspx; }
QMenuBar::item:selected { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 @hoverTop,
    stop:1 @hoverBottom); border-color: @hoverBorder; color: @hoverText; }
QMenuBar::item:pressed { background: @menuBack; border-color: @menuBorder; color: @text; }
QToolBar { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 @barTop, stop:1 @barBottom);
    border: 1px solid @barBorder; border-radius: @barRadiuspx; padding: 1px 2px; spacing: 2px; }
QToolBar::separator { background: @separator; border-right: 1px solid @separatorLight; width: 1px;
    margin: 3px 3px; }
QToolBar::separator:vertical { height: 1px; border-right: none; border-bottom: 1px solid @separatorLight; }
QToolBar QToolButton { background: transparent; color: @text; border: 1px solid transparent;
    border-radius: @radiuspx; padding: 2px 3px; }
QToolBar QToolButton:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 @hoverTop,
    stop:1 @hoverBottom); border-color: @hoverBorder; color: @hoverText; }
QToolBar QToolButton:pressed { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 @pressedTop,
    stop:1 @pressedBottom); border-color: @hoverBorder; }
QToolBar QToolButton:checked { background: @checked; border-color: @hoverBorder; }
QToolBar QLineEdit, QToolBar QComboBox { background: @editBack; color: #000000; border: 1px solid @editBorder;
    border-radius: @radiuspx; padding: 1px 3px; min-height: 17px; }
QToolBar QComboBox:editable { padding: 1px 3px; }
QMenu { background: @menuBack; color: @text; border: 1px solid @menuBorder; padding: 2px; }
QMenu::item { padding: 4px 24px 4px 10px; border: 1px solid transparent; border-radius: @radiuspx; }
QMenu::item:selected { background: @menuSelBack; border-color: @menuSelBorder; color: @menuSelText; }
QMenu::separator { height: 1px; background: @separator; margin: 3px 4px 3px 28px; }
QStatusBar { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 @statusTop, stop:1 @statusBottom);
    color: @statusText; border-top: 1px solid @barBorder; }
QStatusBar::item { border: none; }
QStatusBar QLabel { color: @statusText; border: 1px solid @paneBorder; padding: 0px 3px; }
QStatusBar QLabel#messagePane { border: none; }
)";

const ThemeRow& rowOf(int theme)
{
    return rows[static_cast<std::size_t>(effectiveTheme(theme))];
}

QString hex(QRgb rgb)
{
    return QColor(rgb).name();
}

} // namespace

int effectiveTheme(int theme)
{
    return theme >= 0 && theme < count ? theme : 0;
}

QColor faceColour(int theme)
{
    return QColor(rowOf(theme).face);
}

QPalette palette(int theme)
{
    const ThemeRow& row = rowOf(theme);
    QPalette result(QColor(row.face), QColor(row.face));
    result.setColor(QPalette::WindowText, QColor(row.text));
    result.setColor(QPalette::ButtonText, QColor(row.text));
    result.setColor(QPalette::Base, QColor(row.editBack));
    result.setColor(QPalette::Text, QColor(Qt::black));
    result.setColor(QPalette::Highlight, QColor(row.menuSelBack));
    result.setColor(QPalette::HighlightedText, QColor(row.menuSelText));
    result.setColor(QPalette::Light, QColor(row.separatorLight));
    result.setColor(QPalette::Mid, QColor(row.separator));
    result.setColor(QPalette::Dark, QColor(row.barBorder));
    return result;
}

QString styleSheet(int theme)
{
    const ThemeRow& row = rowOf(theme);
    const std::pair<const char*, QString> tokens[] = {
        {"@separatorLight", hex(row.separatorLight)},
        {"@menuSelBorder", hex(row.menuSelBorder)},
        {"@pressedBottom", hex(row.pressedBottom)},
        {"@statusBottom", hex(row.statusBottom)},
        {"@hoverBorder", hex(row.hoverBorder)},
        {"@hoverBottom", hex(row.hoverBottom)},
        {"@menuSelBack", hex(row.menuSelBack)},
        {"@menuSelText", hex(row.menuSelText)},
        {"@pressedTop", hex(row.pressedTop)},
        {"@statusText", hex(row.statusText)},
        {"@editBorder", hex(row.editBorder)},
        {"@menuBorder", hex(row.menuBorder)},
        {"@paneBorder", hex(row.paneBorder)},
        {"@barRadius", QString::number(row.barRadius)},
        {"@statusTop", hex(row.statusTop)},
        {"@barBorder", hex(row.barBorder)},
        {"@barBottom", hex(row.barBottom)},
        {"@separator", hex(row.separator)},
        {"@hoverText", hex(row.hoverText)},
        {"@hoverTop", hex(row.hoverTop)},
        {"@menuBack", hex(row.menuBack)},
        {"@editBack", hex(row.editBack)},
        {"@checked", hex(row.checked)},
        {"@radius", QString::number(row.radius)},
        {"@barTop", hex(row.barTop)},
        {"@text", hex(row.text)},
    };
    QString sheet = QString::fromLatin1(sheetTemplate);
    for (const auto& [token, value] : tokens)
        sheet.replace(QLatin1String(token), value);
    return sheet + QString::fromLatin1(row.extra);
}

QString styleSheet(int theme, Surface surface)
{
    // Each rule names its bar first. Menus may open from inside any bar (a box's own menu in a toolbar),
    // so their rules go everywhere.
    const auto reaches = [surface](QStringView rule) {
        const QStringView selector = rule.trimmed();
        const auto letters = std::find_if(selector.begin(), selector.end(), [](QChar c) { return !c.isLetter(); });
        const QStringView type = selector.first(letters - selector.begin());
        if (type == u"QMenu")
            return true;
        switch (surface) {
        case Surface::MenuBar:
            return type == u"QMenuBar";
        case Surface::ToolBar:
            return type == u"QToolBar";
        case Surface::StatusBar:
            return type == u"QStatusBar";
        case Surface::Menu:
            return false;
        }
        return false;
    };
    const QString sheet = styleSheet(theme);
    QString kept;
    for (qsizetype start = 0, end; (end = sheet.indexOf(u'}', start)) >= 0; start = end + 1) {
        const QStringView rule = QStringView(sheet).sliced(start, end + 1 - start);
        if (reaches(rule))
            kept += rule;
    }
    return kept;
}

} // namespace commandbarthemes
