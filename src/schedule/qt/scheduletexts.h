#pragma once

#include <QString>

// The texts of the scheduling dialog.
namespace scheduletexts {

inline QString title()
{
    return QStringLiteral("Schemalägg jobb");
}
inline QString jobLabel()
{
    return QStringLiteral("&Jobb:");
}
inline QString jobName()
{
    return QStringLiteral("Jobbfil");
}
inline QString browse()
{
    return QStringLiteral("&Välj...");
}
inline QString browseName()
{
    return QStringLiteral("Välj jobbfil");
}
inline QString saveWindow()
{
    return QStringLiteral("&Spara fönstret som jobb...");
}
inline QString openTitle()
{
    return QStringLiteral("Välj jobb att schemalägga");
}
inline QString filter()
{
    return QStringLiteral("Jobb (*.vjob)");
}
inline QString nameLabel()
{
    return QStringLiteral("&Namn:");
}
inline QString nameName()
{
    return QStringLiteral("Uppgiftens namn");
}
inline QString once()
{
    return QStringLiteral("En &gång");
}
inline QString daily()
{
    return QStringLiteral("&Dagligen");
}
inline QString weekdays()
{
    return QStringLiteral("Var&dagar (måndag-fredag)");
}
inline QString dateLabel()
{
    return QStringLiteral("D&atum:");
}
inline QString dateName()
{
    return QStringLiteral("Datum");
}
inline QString timeLabel()
{
    return QStringLiteral("&Klockan:");
}
inline QString timeName()
{
    return QStringLiteral("Klockslag");
}
inline QString schedule()
{
    return QStringLiteral("Sc&hemalägg");
}
inline QString account()
{
    return QStringLiteral("Jobbet körs med vendrel-run som du, med dina inställningar, och bara medan du är "
                          "inloggad: CAD-programmet behöver ditt skrivbord och din licens.");
}
inline QString tasksLabel()
{
    return QStringLiteral("Vendrels schemalagda &uppgifter:");
}
inline QString tasksName()
{
    return QStringLiteral("Schemalagda uppgifter");
}
inline QString remove()
{
    return QStringLiteral("&Ta bort");
}
inline QString removeName()
{
    return QStringLiteral("Ta bort uppgiften");
}
inline QString crontabLabel()
{
    return QStringLiteral("Ingen systemd körs för dig här, så jobbet kan inte schemaläggas härifrån. Lägg till "
                          "raden nedan i din crontab (crontab -e):");
}
inline QString crontabName()
{
    return QStringLiteral("Rad för crontab");
}
inline QString noSystemd()
{
    return QStringLiteral("Ingen systemd körs för dig här: det finns inga schemalagda uppgifter att visa.");
}
inline QString statusName()
{
    return QStringLiteral("Besked");
}
inline QString notSaved()
{
    return QStringLiteral("Bara ett sparat jobb kan schemaläggas, och inget jobb är valt. Vill du spara fönstret "
                          "som jobb nu?\n\nNej: välj en jobbfil med Välj...");
}
inline QString noProgram(const QString& path)
{
    return QStringLiteral("Hittar ej vendrel-run (%1), som ska köra jobbet.").arg(path);
}
inline QString replace(const QString& name)
{
    return QStringLiteral("Det finns redan en schemalagd uppgift som heter %1. Vill du ersätta den?").arg(name);
}
inline QString confirmRemove(const QString& name)
{
    return QStringLiteral("Vill du ta bort den schemalagda uppgiften %1?").arg(name);
}
inline QString scheduled(const QString& name)
{
    return QStringLiteral("Schemalade %1.").arg(name);
}
inline QString removed(const QString& name)
{
    return QStringLiteral("Tog bort %1.").arg(name);
}

} // namespace scheduletexts
