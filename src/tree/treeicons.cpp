#include "tree/treeicons.h"

#include <initializer_list>

namespace {

struct IconSource
{
    TreeIcon icon;
    std::initializer_list<const char*> themeNames; // the first one the theme has is taken
    const char* bundled;
};

const IconSource iconSources[] = {
    {TreeIcon::Computer, {"computer"}, ":/tree/computer.svg"},
    {TreeIcon::Drive, {"drive-harddisk"}, ":/tree/drive.svg"},
    {TreeIcon::NetDrive, {"folder-remote", "network-server"}, ":/tree/netdrive.svg"},
    {TreeIcon::FloppyDrive, {"media-floppy", "drive-removable-media"}, ":/tree/floppy.svg"},
    {TreeIcon::CD, {"media-optical", "drive-optical"}, ":/tree/cd.svg"},
    {TreeIcon::Folder, {"folder"}, ":/tree/folder.svg"},
};

// Whether the desktop has chosen an icon theme. Without one Qt falls back on hicolor, the theme of
// programs' own icons, which holds no pictures of drives or folders; asking it for them still tries every
// one of its hundreds of folders on each search path, which costs the start milliseconds where a user's
// own icon folder has no cache.
bool desktopHasIconTheme()
{
    const QString theme = QIcon::themeName();
    return !theme.isEmpty() && theme != u"hicolor";
}

QIcon load(const IconSource& source)
{
    if (!desktopHasIconTheme())
        return QIcon(QString::fromLatin1(source.bundled));
    for (const char* name : source.themeNames)
    {
        const QString themeName = QString::fromLatin1(name);
        if (QIcon::hasThemeIcon(themeName))
            return QIcon::fromTheme(themeName);
    }
    return QIcon(QString::fromLatin1(source.bundled));
}

} // namespace

static void initTreeResources()
{
    // The pictures live in this static library; its resources must be registered by hand.
    Q_INIT_RESOURCE(tree);
}

TreeIcons::TreeIcons()
{
    initTreeResources();
}

const QIcon& TreeIcons::icon(TreeIcon which) const
{
    std::optional<QIcon>& icon = m_icons[static_cast<std::size_t>(which)];
    if (!icon) {
        for (const IconSource& source : iconSources) {
            if (source.icon == which)
                icon = load(source);
        }
    }
    return *icon;
}
