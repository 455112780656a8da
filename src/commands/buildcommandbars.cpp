#include "commands/buildcommandbars.h"

#include "commands/commandicons.h"
#include "commands/commandtable.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QToolBar>

using namespace commands;

namespace {

void addMenuEntries(CommandBar* bar, std::span<const MenuEntry> entries)
{
    for (const MenuEntry& entry : entries) {
        const Command* command = findCommand(entry.id);
        const QString caption =
            entry.kind == ControlKind::Popup || !command ? entry.caption.toString() : captionOf(*command);
        BarControl* control = bar->addControl(entry.kind, entry.id, caption);
        if (entry.separatorBefore)
            control->setSeparatorBefore(true);
        if (control->commandBar())
            addMenuEntries(control->commandBar(), entry.entries);
    }
}

// Wide enough for the texts the box usually holds: a pattern, a template name, a program path.
void setHostedWidth(QWidget* box, int chars)
{
    if (chars <= 0)
        return;
    if (auto* combo = qobject_cast<QComboBox*>(box)) {
        combo->setMinimumContentsLength(chars);
        combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    } else if (auto* edit = qobject_cast<QLineEdit*>(box)) {
        const QFontMetrics metrics = edit->fontMetrics();
        edit->setFixedWidth(metrics.averageCharWidth() * chars + 2 * metrics.horizontalAdvance(u' ') + 8);
    }
}

void addHostedControl(QMainWindow& window, CommandBar* bar, const ToolbarEntry& entry, const Command& command)
{
    BarControl* control = bar->addControl(ControlKind::Hosted, entry.id, QString());
    if (entry.separatorBefore)
        control->setSeparatorBefore(true);
    auto* box = window.findChild<QWidget*>(command.hostedWindow.toString());
    if (box) {
        setHostedWidth(box, command.hostedChars);
        control->setHostedWindow(box);
    }
    control->setDescription(command.description.toString());
    if (!command.tooltip.isEmpty())
        control->setTooltip(command.tooltip.toString());
}

void addToolbar(CommandBars& bars, const Toolbar& layout)
{
    CommandBar* bar = bars.addBar(layout.title.toString(), BarPosition::Top);
    if (layout.newRow)
        bars.window().insertToolBarBreak(static_cast<QToolBar*>(bar->widget()));
    for (const ToolbarEntry& entry : layout.entries) {
        const Command* command = findCommand(entry.id);
        if (!command)
            continue;
        if (entry.kind == ControlKind::Hosted) {
            addHostedControl(bars.window(), bar, entry, *command);
            continue;
        }
        if (entry.viaAddBarControl) {
            BarControl* control =
                addBarControl(bar, entry.kind, entry.id, captionOf(*command), entry.separatorBefore,
                              command->description.toString(), command->style, controlsCategory.toString());
            if (!command->tooltip.isEmpty())
                control->setTooltip(command->tooltip.toString());
        } else {
            BarControl* control = bar->addControl(entry.kind, entry.id, captionOf(*command));
            if (entry.separatorBefore)
                control->setSeparatorBefore(true);
        }
    }
    if (!layout.visible)
        bar->setVisible(false);
}

void buildStatusBar(CommandBars& bars)
{
    bars.setStatusBarVisible(true);
    for (int id : statusPaneIds())
        bars.addStatusPane(id);
    bars.setIdleText(QString());
    for (int index = 1; index < bars.statusPaneCount(); ++index)
        bars.statusPane(index)->setWidth(indicatorPaneWidth);
}

void addFilterPresets(QMainWindow& window)
{
    const Command* filter = findCommand(ID_FILTER_PATTERN);
    auto* box = window.findChild<QComboBox*>(filter->hostedWindow.toString());
    if (!box)
        return;
    // Keeps what the box shows; the load sequence puts the last pattern there afterwards.
    const QString text = box->currentText();
    for (QStringView preset : filterPresets()) {
        if (box->findText(preset.toString(), Qt::MatchFixedString | Qt::MatchCaseSensitive) < 0)
            box->addItem(preset.toString());
    }
    if (box->isEditable())
        box->setEditText(text);
}

} // namespace

BarControl* addBarControl(CommandBar* bar, ControlKind kind, int id, const QString& caption, bool separatorBefore,
                          const QString& description, ControlStyle style, const QString& category)
{
    BarControl* control = bar->addControl(kind, id, caption, -1, false);
    control->setSeparatorBefore(separatorBefore);
    control->setDescription(description);
    control->setStyle(style);
    control->setCategory(category);
    return control;
}

void buildCommandBars(CommandBars& bars)
{
    addMenuEntries(bars.menuBar(), menuBarLayout());
    for (const ShortcutKey& key : shortcutTable())
        bars.addShortcut(key.modifiers, key.keyCode, key.id);
    bars.attachIcons(commandIcons());
    addFilterPresets(bars.window());
    for (const Toolbar& toolbar : toolbarLayout())
        addToolbar(bars, toolbar);
    buildStatusBar(bars);
}
