#pragma once

#include "supervise/journal.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <array>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class SupervisedRun;

// The progress of one supervised run: a bar over its drawings, the drawing(s) in progress, the time so far
// and an estimate of the rest, the count of each state, and "Avbryt". At the end it lists the drawings that
// failed or hit the time-out and offers "Kör om misslyckade".
class ProgressWindow final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProgressWindow)

public:
    ProgressWindow(SupervisedRun* run, QWidget* parent);

    // Follows another run (a re-run of what failed) in the same window.
    void follow(SupervisedRun* run);

signals:
    void retryRequested();

protected:
    void reject() override;

private:
    void showBatch(const std::vector<std::size_t>& indices);
    void showSettled();
    void showTimes();
    void showEnd();

    QPointer<SupervisedRun> m_run;
    QElapsedTimer m_clock;
    QTimer* m_timer;
    QLabel* m_count;
    QProgressBar* m_bar;
    QLabel* m_current;
    QLabel* m_times;
    std::array<QLabel*, 7> m_stateCounts{};
    QLabel* m_summary;
    QPlainTextEdit* m_problems;
    QPushButton* m_cancel;
    QPushButton* m_retry;
    QPushButton* m_close;
    qsizetype m_settled = 0;
};
