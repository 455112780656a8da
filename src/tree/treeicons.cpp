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

QIcon load(const IconSource& source)
{
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
    for (const IconSource& source : iconSources)
        m_icons[static_cast<std::size_t>(source.icon)] = load(source);
}
