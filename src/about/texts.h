#pragma once

#include <QString>

// What the About box says, in one place. The maker's addresses lie under a reserved example domain.
namespace about::texts {

inline const QString windowTitlePrefix = QStringLiteral("Om ");
inline const QString description = QStringLiteral("Scriptgenerator för DWG- och DXF-filer.");
inline const QString copyright = QStringLiteral("Copyright © 2026 Brannoc Ritteknik & Data AB");
inline const QString disclaimer =
    QStringLiteral("Varning: programmet skyddas av svensk upphovsrättslag och internationella avtal, och "
                   "otillåten kopiering kan medföra straffansvar.");
inline const QString mailAddress = QStringLiteral("info@brannoc.example");
inline const QString webAddress = QStringLiteral("www.brannoc.example/vendrel");
inline const QString ok = QStringLiteral("OK");
inline const QString systemInfo = QStringLiteral("&System Info...");
inline const QString sysInfoUnavailable = QStringLiteral("System Information Is Unavailable At This Time");

} // namespace about::texts
