#include "os/registry.h"
#include "widgets/commandbars/commandbars.h"

#include <QDataStream>
#include <QIODevice>
#include <QMainWindow>
#include <QToolBar>

// Save and restore of the user's arrangement of the bars.

using namespace Qt::StringLiterals;

namespace {

// The stored arrangement: a header of our own that names every bar with its visibility and docking area,
// then the main window's own state. The header lets a state that the window refuses (another Qt, a
// damaged value) still bring back where each toolbar was and whether it was shown.
constexpr quint32 arrangementMagic = 0x56424152; // "VBAR"
constexpr quint16 arrangementFormat = 1;
constexpr int windowStateVersion = 1;
constexpr qint32 maxStoredBars = 1000;
constexpr const char* menuBarName = "menubar";

std::string keyPath(const QString& registryKey, const QString& application, const QString& section)
{
    const QString path = u"Software\\"_s + registryKey + u'\\' + application + u'\\' + section;
    return path.toStdString();
}

} // namespace

void CommandBars::saveArrangement(const QString& registryKey, const QString& application, const QString& section)
{
    struct Record
    {
        QString name;
        bool visible;
        qint32 area;
    };
    QList<Record> records{{QString::fromLatin1(menuBarName), m_menuBar->isVisible(), 0}};
    for (CommandBar* bar : toolbars()) {
        auto* toolbar = static_cast<QToolBar*>(bar->widget());
        records.append({toolbar->objectName(), bar->isVisible(), static_cast<qint32>(m_window.toolBarArea(toolbar))});
    }

    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << arrangementMagic << arrangementFormat << static_cast<qint32>(records.size());
    for (const Record& record : records)
        out << record.name << record.visible << record.area;
    out << m_window.saveState(windowStateVersion);

    const std::string key = keyPath(registryKey, application, section);
    m_registry.writeBinary(Hive::CurrentUser, key, "State", std::string_view(data.constData(), data.size()));
    m_registry.writeDword(Hive::CurrentUser, key + "-Summary", "Bars", static_cast<std::uint32_t>(records.size()));
}

bool CommandBars::restoreArrangement(const QString& registryKey, const QString& application, const QString& section)
{
    const std::string stored =
        m_registry.readBinary(Hive::CurrentUser, keyPath(registryKey, application, section), "State");
    if (stored.empty())
        return false;
    const QByteArray data = QByteArray::fromRawData(stored.data(), static_cast<qsizetype>(stored.size()));
    QDataStream in(data);
    in.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0;
    quint16 format = 0;
    qint32 count = 0;
    in >> magic >> format >> count;
    if (in.status() != QDataStream::Ok || magic != arrangementMagic || format != arrangementFormat || count < 0 ||
        count > maxStoredBars)
        return false;
    struct Record
    {
        QString name;
        bool visible = true;
        qint32 area = 0;
    };
    QList<Record> records;
    for (qint32 i = 0; i < count; ++i) {
        Record record;
        in >> record.name >> record.visible >> record.area;
        records.append(record);
    }
    QByteArray windowState;
    in >> windowState;
    if (in.status() != QDataStream::Ok)
        return false;

    const bool windowRestored = m_window.restoreState(windowState, windowStateVersion);
    // The rows come back with the state; they are not to be laid out anew when the window shows.
    m_rowsSettled = m_rowsSettled || windowRestored;
    bool applied = windowRestored;
    for (const Record& record : records) {
        if (record.name == QLatin1String(menuBarName)) {
            m_menuBar->setVisible(record.visible);
            continue;
        }
        if (windowRestored)
            continue;
        for (CommandBar* bar : toolbars()) {
            auto* toolbar = static_cast<QToolBar*>(bar->widget());
            if (toolbar->objectName() != record.name)
                continue;
            const auto area = static_cast<Qt::ToolBarArea>(record.area);
            if (area == Qt::LeftToolBarArea || area == Qt::RightToolBarArea || area == Qt::TopToolBarArea ||
                area == Qt::BottomToolBarArea)
                m_window.addToolBar(area, toolbar);
            bar->setVisible(record.visible);
            applied = true;
        }
    }
    return applied;
}
