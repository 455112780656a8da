#pragma once

#include <QString>
#include <QUrl>

// The program's name and version as the About box and the mail link show them. The numbers come from the
// build (the project version), so they are written down in one place only.
namespace about {

struct Version
{
    int major = 0;
    int minor = 0;
    int revision = 0;
};

// The version of this build.
Version programVersion();

// The application title, "Vendrel".
QString applicationTitle();

// "Version 1.00a": the minor number with at least two digits and, for a revision above 0, the letter
// that counts it (1 = a, 2 = b, ...). A revision without a printable character of its own is written as
// a number after a dot.
QString versionText(const Version& version);

// The label caption that shows text as it stands: a label takes a single "& " as an access-key marker, so
// every "& " is doubled.
QString labelCaption(const QString& text);

// What a label shows for a caption: "&&" is one ampersand, a single "&" marks the access key and is not shown.
QString shownText(const QString& caption);

// "mailto:" + address + "?Subject=Vendrel - Version 1.0" (major and minor without leading zeros).
QUrl mailLink(const QString& address, const Version& version);

} // namespace about
