#pragma once

#include <QDialog>
#include <functional>

class QDateEdit;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QRadioButton;
class QStringListModel;
class QTimeEdit;

// "Schemalägg jobb...": a saved job put in the operating system's scheduler once, daily or on weekdays at a
// time, and Vendrel's scheduled tasks listed and removed. Where the user's systemd does not run it gives the
// crontab line to add instead.
class ScheduleDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScheduleDialog)

public:
    struct Setup
    {
        QString jobPath;                  // the job to offer; empty when the window has none saved
        QString program;                  // vendrel-run, which the task runs
        std::function<QString()> saveJob; // saves the window as a job; its path, or empty text
    };
    ScheduleDialog(QWidget* parent, Setup setup);

    // vendrel-run beside the running program, as it is installed.
    static QString runProgram();

    // Schedules the job as the form says; false, with the user told, when it is not.
    bool scheduleJob();
    // Removes the selected task, once the user has said yes.
    void removeSelected();
    // Reads Vendrel's tasks again.
    void refreshTasks();

private:
    void setJob(const QString& path);
    void chooseJob();
    void updateControls();
    void error(const QString& text);

    Setup m_setup;
    QLineEdit* m_job;
    QLineEdit* m_name;
    bool m_nameEdited = false;
    QRadioButton* m_once;
    QRadioButton* m_daily;
    QRadioButton* m_weekdays;
    QDateEdit* m_date;
    QTimeEdit* m_time;
    QLabel* m_crontabLabel;
    QLineEdit* m_crontab;
    QLabel* m_status;
    QListView* m_tasks;
    QStringListModel* m_taskModel;
    QStringList m_taskNames;
    QPushButton* m_remove;
};
