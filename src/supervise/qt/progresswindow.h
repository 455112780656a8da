#pragma once

#include "supervise/journal.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <array>
#include <functional>
#include <vector>

class QLabel;
class QListView;
class QProgressBar;
class QPushButton;
class QStringListModel;
class QTimer;
class QUrl;
class QVBoxLayout;
class SupervisedRun;

// The progress of one supervised run: a bar over its drawings, a line per CAD session with its drawing in
// progress, the time so far and an estimate of the rest, the count of each state, and "Avbryt". At the end it
// lists the drawings that failed or hit the time-out, offers "Kör om misslyckade" and, for the headless
// console, "Visa logg" for the chosen drawing, and "Visa rapport", the run's report in the user's browser.
class ProgressWindow final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProgressWindow)

public:
    ProgressWindow(SupervisedRun* run, QWidget* parent);

    // Follows another run (a re-run of what failed) in the same window.
    void follow(SupervisedRun* run);

    // What opens the report ("Visa rapport"): the desktop's browser unless replaced.
    using Opener = std::function<bool(const QUrl&)>;
    void setReportOpener(Opener opener) { m_openReport = std::move(opener); }

signals:
    void retryRequested();

protected:
    void reject() override;

private:
    void showSessions();
    void showSettled();
    void showTimes();
    void showEnd();
    void showLog();
    void chooseProblem();
    QString drawingName(std::size_t index) const;

    QPointer<SupervisedRun> m_run;
    QElapsedTimer m_clock;
    QTimer* m_timer;
    QLabel* m_count;
    QProgressBar* m_bar;
    QVBoxLayout* m_sessionLines;
    std::vector<QLabel*> m_sessions;
    QLabel* m_times;
    std::array<QLabel*, 7> m_stateCounts{};
    QLabel* m_doneMeaning;
    QLabel* m_summary;
    QStringListModel* m_problemNames;
    QListView* m_problems;
    std::vector<std::size_t> m_problemDrawings; // the drawing of each row of the list
    QPushButton* m_cancel;
    QPushButton* m_log;
    QPushButton* m_report;
    Opener m_openReport;
    QPushButton* m_retry;
    QPushButton* m_close;
    qsizetype m_settled = 0;
};
