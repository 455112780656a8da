#pragma once

#include <QString>
#include <string_view>

// The pictures of the tree's rows.
enum class TreeIcon
{
    Computer,
    Drive,
    NetDrive,
    FloppyDrive,
    CD,
    Folder,
};

struct DriveTypeLook
{
    QString text;
    TreeIcon icon;

    friend bool operator==(const DriveTypeLook&, const DriveTypeLook&) = default;
};

// The type text and picture of a drive from the type code the platform reports for it and the drive's entry
// text. Codes the table does not know give an empty text and the plain drive picture.
DriveTypeLook driveTypeText(int driveType, std::string_view entry);
