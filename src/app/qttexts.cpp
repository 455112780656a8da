#include "app/qttexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstring>

namespace {

struct QtText
{
    const char* context;
    const char* source;
    const char* swedish; // UTF-8
};

// Qt's Swedish catalogue comes from an earlier Qt, which named the standard buttons under QDialogButtonBox; Qt 6
// asks for them under QPlatformTheme. The words are the catalogue's own, so a button reads the same with or
// without it.
constexpr QtText missingTexts[] = {
    {"QPlatformTheme", "OK", "OK"},
    {"QPlatformTheme", "Save", "Spara"},
    {"QPlatformTheme", "Save All", "Spara alla"},
    {"QPlatformTheme", "Open", "Öppna"},
    {"QPlatformTheme", "&Yes", "&Ja"},
    {"QPlatformTheme", "Yes to &All", "Ja till &alla"},
    {"QPlatformTheme", "&No", "&Nej"},
    {"QPlatformTheme", "N&o to All", "N&ej till alla"},
    {"QPlatformTheme", "Abort", "Avbryt"},
    {"QPlatformTheme", "Retry", "Försök igen"},
    {"QPlatformTheme", "Ignore", "Ignorera"},
    {"QPlatformTheme", "Close", "Stäng"},
    {"QPlatformTheme", "Cancel", "Avbryt"},
    {"QPlatformTheme", "Discard", "Förkasta"},
    {"QPlatformTheme", "Help", "Hjälp"},
    {"QPlatformTheme", "Apply", "Verkställ"},
    {"QPlatformTheme", "Reset", "Återställ"},
    {"QPlatformTheme", "Restore Defaults", "Återställ standardvärden"},
    // The GNOME desktop's spelling of some of them.
    {"QGnomeTheme", "&OK", "&OK"},
    {"QGnomeTheme", "&Save", "&Spara"},
    {"QGnomeTheme", "&Cancel", "&Avbryt"},
    {"QGnomeTheme", "&Close", "&Stäng"},
    {"QGnomeTheme", "Close without Saving", "Stäng utan att spara"},
    // The file dialog's own buttons: the catalogue has "&Open" and "&Save" too, these serve where it is missing.
    {"QFileDialog", "&Open", "&Öppna"},
    {"QFileDialog", "&Save", "&Spara"},
    {"QFileDialog", "&Choose", "&Välj"},
    {"QFileDialog", "Look in:", "Leta i:"},
};

class MissingQtTexts final : public QTranslator
{
public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* source, const char* disambiguation, int) const override
    {
        if (!context || !source || (disambiguation && *disambiguation))
            return {};
        for (const QtText& text : missingTexts) {
            if (std::strcmp(text.context, context) == 0 && std::strcmp(text.source, source) == 0)
                return QString::fromUtf8(text.swedish);
        }
        return {};
    }
    bool isEmpty() const override { return false; }
};

} // namespace

void installSwedishQtTexts(QCoreApplication& app)
{
    // Asked last: the catalogue's words win where it has them.
    QCoreApplication::installTranslator(new MissingQtTexts(&app));
    auto* catalogue = new QTranslator(&app);
    if (catalogue->load(QLocale(QLocale::Swedish, QLocale::Sweden), QStringLiteral("qt"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(catalogue);
}
