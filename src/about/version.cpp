#include "about/version.h"

#include "settings/settings.h"

namespace about {

Version programVersion()
{
    return {VENDREL_VERSION_MAJOR, VENDREL_VERSION_MINOR, VENDREL_VERSION_PATCH};
}

QString applicationTitle()
{
    return QString::fromLatin1(settings::productName.data(), qsizetype(settings::productName.size()));
}

QString versionText(const Version& version)
{
    QString text = QStringLiteral("Version ") + QString::number(version.major) + u'.' +
                   QString::number(version.minor).rightJustified(2, u'0');
    if (version.revision > 0) {
        // Revisions past 'z' run on through the character set; where that gives no printable Latin-1
        // character (DEL, the C1 controls, beyond 255) the number itself is clearer than a box.
        const int code = 96 + version.revision;
        const QChar letter(code <= 0xff ? char16_t(code) : u'\0');
        if (code <= 0xff && letter.isPrint())
            text += letter;
        else
            text += u'.' + QString::number(version.revision);
    }
    return text;
}

QString labelCaption(const QString& text)
{
    QString caption = text;
    caption.replace(QStringLiteral("& "), QStringLiteral("&& "));
    return caption;
}

QString shownText(const QString& caption)
{
    QString shown;
    shown.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] != u'&') {
            shown += caption[i];
        } else if (i + 1 < caption.size() && caption[i + 1] == u'&') {
            shown += u'&';
            ++i;
        }
    }
    return shown;
}

QUrl mailLink(const QString& address, const Version& version)
{
    const QString subject = applicationTitle() + QStringLiteral(" - Version ") + QString::number(version.major) +
                            u'.' + QString::number(version.minor);
    return QUrl(QStringLiteral("mailto:") + address + QStringLiteral("?Subject=") + subject);
}

} // namespace about
