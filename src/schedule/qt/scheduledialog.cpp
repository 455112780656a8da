#include "schedule/qt/scheduledialog.h"

#include "job/job.h"
#include "os/nativetext.h"
#include "schedule/qt/scheduletexts.h"
#include "schedule/scheduler.h"
#include "schedule/texts.h"
#include "widgets/busypointer.h"
#include "widgets/dialogs.h"
#include "widgets/messagebox.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QStringListModel>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace {

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

std::string utf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

// A message of the scheduling core as a sentence of its own.
QString sentence(const std::string& message)
{
    QString text = fromUtf8(message);
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    if (!text.endsWith(u'.'))
        text += u'.';
    return text;
}

template <typename Widget> Widget* named(Widget* widget, const QString& name)
{
    widget->setAccessibleName(name);
    return widget;
}

} // namespace

ScheduleDialog::ScheduleDialog(QWidget* parent, Setup setup)
    : QDialog(parent), m_setup(std::move(setup)), m_job(named(new QLineEdit(this), scheduletexts::jobName())),
      m_name(named(new QLineEdit(this), scheduletexts::nameName())),
      m_once(new QRadioButton(scheduletexts::once(), this)), m_daily(new QRadioButton(scheduletexts::daily(), this)),
      m_weekdays(new QRadioButton(scheduletexts::weekdays(), this)),
      m_date(named(new QDateEdit(QDate::currentDate().addDays(1), this), scheduletexts::dateName())),
      m_time(named(new QTimeEdit(QTime(2, 0), this), scheduletexts::timeName())),
      m_crontabLabel(new QLabel(scheduletexts::crontabLabel(), this)),
      m_crontab(named(new QLineEdit(this), scheduletexts::crontabName())),
      m_status(named(new QLabel(this), scheduletexts::statusName())),
      m_tasks(named(new QListView(this), scheduletexts::tasksName())), m_taskModel(new QStringListModel(this)),
      m_remove(named(new QPushButton(scheduletexts::remove(), this), scheduletexts::removeName()))
{
    setWindowTitle(scheduletexts::title());
    auto* browse = named(new QPushButton(scheduletexts::browse(), this), scheduletexts::browseName());
    auto* save = new QPushButton(scheduletexts::saveWindow(), this);
    save->setEnabled(bool(m_setup.saveJob));
    auto* jobRow = new QHBoxLayout;
    jobRow->addWidget(m_job, 1);
    jobRow->addWidget(browse);
    jobRow->addWidget(save);

    auto* repeatRow = new QHBoxLayout;
    auto* repeat = new QButtonGroup(this);
    for (QRadioButton* button : {m_once, m_daily, m_weekdays}) {
        button->setAccessibleName(button->text().remove(u'&'));
        repeat->addButton(button);
        repeatRow->addWidget(button);
    }
    repeatRow->addStretch();
    m_daily->setChecked(true);
    m_date->setCalendarPopup(true);
    m_date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_time->setDisplayFormat(QStringLiteral("HH:mm"));

    auto* form = new QFormLayout;
    form->addRow(scheduletexts::jobLabel(), jobRow);
    form->addRow(scheduletexts::nameLabel(), m_name);
    form->addRow(QString(), repeatRow);
    form->addRow(scheduletexts::dateLabel(), m_date);
    form->addRow(scheduletexts::timeLabel(), m_time);

    auto* account = new QLabel(scheduletexts::account(), this);
    account->setWordWrap(true);
    auto* scheduleButton =
        named(new QPushButton(scheduletexts::schedule(), this), scheduletexts::schedule().remove(u'&'));
    auto* scheduleRow = new QHBoxLayout;
    scheduleRow->addStretch();
    scheduleRow->addWidget(scheduleButton);

    m_crontabLabel->setWordWrap(true);
    m_crontab->setReadOnly(true);
    m_crontabLabel->setVisible(false);
    m_crontab->setVisible(false);
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* tasksLabel = new QLabel(scheduletexts::tasksLabel(), this);
    tasksLabel->setBuddy(m_tasks);
    m_tasks->setModel(m_taskModel);
    m_tasks->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tasks->setUniformItemSizes(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(m_remove, QDialogButtonBox::ActionRole);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(account);
    layout->addLayout(scheduleRow);
    layout->addWidget(m_crontabLabel);
    layout->addWidget(m_crontab);
    layout->addWidget(m_status);
    layout->addWidget(tasksLabel);
    layout->addWidget(m_tasks, 1);
    layout->addWidget(buttons);
    setMinimumWidth(560);

    connect(browse, &QPushButton::clicked, this, &ScheduleDialog::chooseJob);
    connect(save, &QPushButton::clicked, this, [this] {
        if (const QString saved = m_setup.saveJob(); !saved.isEmpty())
            setJob(saved);
    });
    connect(m_job, &QLineEdit::textEdited, this, [this](const QString& path) { setJob(path); });
    connect(m_name, &QLineEdit::textEdited, this, [this] { m_nameEdited = true; });
    connect(m_once, &QRadioButton::toggled, this, &ScheduleDialog::updateControls);
    connect(scheduleButton, &QPushButton::clicked, this, &ScheduleDialog::scheduleJob);
    connect(m_remove, &QPushButton::clicked, this, &ScheduleDialog::removeSelected);
    connect(m_tasks->selectionModel(), &QItemSelectionModel::selectionChanged, this, &ScheduleDialog::updateControls);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    setJob(m_setup.jobPath);
    refreshTasks();
}

QString ScheduleDialog::runProgram()
{
    const bool windows = QDir::separator() == u'\\';
    return QDir(QCoreApplication::applicationDirPath())
        .filePath(windows ? QStringLiteral("vendrel-run.exe") : QStringLiteral("vendrel-run"));
}

void ScheduleDialog::setJob(const QString& path)
{
    if (m_job->text() != path)
        m_job->setText(path);
    if (!m_nameEdited)
        m_name->setText(path.isEmpty() ? QString() : fromUtf8(schedule::nameForJob(utf8(path))));
}

void ScheduleDialog::chooseJob()
{
    const QString chosen = dialogs::openFile(this, scheduletexts::openTitle(), scheduletexts::filter(), m_job->text());
    if (!chosen.isEmpty())
        setJob(chosen);
}

void ScheduleDialog::updateControls()
{
    m_date->setEnabled(m_once->isChecked());
    m_remove->setEnabled(m_tasks->selectionModel()->hasSelection());
}

void ScheduleDialog::error(const QString& text)
{
    messagebox::show(this, text, scheduletexts::title(), messagebox::Icon::Critical);
}

void ScheduleDialog::refreshTasks()
{
    m_taskNames.clear();
    QStringList rows;
    {
        const BusyPointer busy;
        if (schedule::systemHere() == schedule::System::Crontab) {
            m_status->setText(scheduletexts::noSystemd());
        } else if (const auto tasks = schedule::listTasks(); !tasks) {
            m_status->setText(sentence(tasks.error()));
        } else {
            for (const schedule::Listed& task : *tasks) {
                m_taskNames << fromUtf8(task.name);
                rows << (task.description.empty()
                             ? fromUtf8(task.name)
                             : fromUtf8(task.name) + QStringLiteral(" – ") + fromUtf8(task.description));
            }
        }
    }
    m_taskModel->setStringList(rows);
    updateControls();
}

bool ScheduleDialog::scheduleJob()
{
    QString path = m_job->text().trimmed();
    if (path.isEmpty()) {
        if (!m_setup.saveJob || !messagebox::ask(this, scheduletexts::notSaved(), scheduletexts::title()))
            return false;
        path = m_setup.saveJob();
        if (path.isEmpty())
            return false;
        setJob(path);
    }
    path = QFileInfo(path).absoluteFilePath();
    const std::string jobBytes = nativeBytes(path);
    const auto text = job::readJobText(jobBytes);
    const auto read = text ? job::parseJob(*text) : Result<job::Job, job::JobProblem>::failure(text.error());
    if (!read) {
        error(sentence(job::problemText(read.error(), utf8(QDir::toNativeSeparators(path)))));
        return false;
    }
    if (!QFileInfo(m_setup.program).isFile()) {
        error(scheduletexts::noProgram(QDir::toNativeSeparators(m_setup.program)));
        return false;
    }

    schedule::Task task;
    task.name = utf8(m_name->text().trimmed());
    if (const auto named = schedule::checkName(task.name); !named) {
        error(sentence(named.error()));
        return false;
    }
    const QDate date = m_date->date();
    const QTime time = m_time->time();
    task.schedule.repeat = m_once->isChecked()    ? schedule::Repeat::Once
                           : m_daily->isChecked() ? schedule::Repeat::Daily
                                                  : schedule::Repeat::Weekdays;
    if (task.schedule.repeat == schedule::Repeat::Once) {
        task.schedule.year = date.year();
        task.schedule.month = date.month();
        task.schedule.day = date.day();
    }
    task.schedule.hour = time.hour();
    task.schedule.minute = time.minute();
    task.program = utf8(QDir::toNativeSeparators(m_setup.program));
    task.jobPath = utf8(QDir::toNativeSeparators(path));

    bool replace = false;
    if (m_taskNames.contains(fromUtf8(task.name))) {
        if (!messagebox::ask(this, scheduletexts::replace(fromUtf8(task.name)), scheduletexts::title()))
            return false;
        replace = true;
    }
    const auto added = [&] {
        const BusyPointer busy;
        return schedule::addTask(task, replace);
    }();
    if (!added) {
        error(sentence(added.error()));
        refreshTasks();
        return false;
    }
    const bool crontab = added->system == schedule::System::Crontab;
    m_crontabLabel->setVisible(crontab);
    m_crontab->setVisible(crontab);
    m_crontab->setText(fromUtf8(added->crontabLine));
    if (crontab) {
        m_crontab->selectAll();
        m_crontab->setFocus();
        return true;
    }
    refreshTasks();
    m_status->setText(scheduletexts::scheduled(fromUtf8(task.name)));
    return true;
}

void ScheduleDialog::removeSelected()
{
    const QModelIndexList selected = m_tasks->selectionModel()->selectedRows();
    if (selected.isEmpty() || selected.front().row() >= m_taskNames.size())
        return;
    const QString name = m_taskNames[selected.front().row()];
    if (!messagebox::ask(this, scheduletexts::confirmRemove(name), scheduletexts::title()))
        return;
    const auto removed = [&] {
        const BusyPointer busy;
        return schedule::removeTask(utf8(name));
    }();
    refreshTasks();
    if (!removed) {
        error(sentence(removed.error()));
        return;
    }
    m_status->setText(scheduletexts::removed(name));
}
