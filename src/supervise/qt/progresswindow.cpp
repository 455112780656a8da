#include "supervise/qt/progresswindow.h"

#include "os/nativetext.h"
#include "supervise/qt/supervisedrun.h"
#include "supervise/qt/supervisetexts.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

using supervise::State;

constexpr State shownStates[] = {State::Done,    State::Failed,      State::TimedOut,
                                 State::Missing, State::Interrupted, State::NotRun};

QString duration(qint64 ms)
{
    const qint64 seconds = (ms + 500) / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

ProgressWindow::ProgressWindow(SupervisedRun* run, QWidget* parent)
    : QDialog(parent), m_timer(new QTimer(this)), m_count(new QLabel(this)), m_bar(new QProgressBar(this)),
      m_current(new QLabel(this)), m_times(new QLabel(this)), m_summary(new QLabel(this)),
      m_problems(new QPlainTextEdit(this))
{
    setObjectName(QStringLiteral("supervisedProgress"));
    setWindowTitle(supervisetexts::progressTitle());
    setWindowModality(Qt::WindowModal);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_count);
    m_bar->setObjectName(QStringLiteral("drawings"));
    layout->addWidget(m_bar);
    m_current->setObjectName(QStringLiteral("current"));
    m_current->setTextFormat(Qt::PlainText);
    layout->addWidget(m_current);
    m_times->setObjectName(QStringLiteral("times"));
    layout->addWidget(m_times);

    auto* counts = new QGridLayout;
    int cell = 0;
    for (const State state : shownStates) {
        auto* value = new QLabel(QStringLiteral("0"), this);
        value->setObjectName(QString::fromLatin1(supervise::stateName(state)));
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        counts->addWidget(new QLabel(supervisetexts::stateText(state), this), cell / 3, cell % 3 * 2);
        counts->addWidget(value, cell / 3, cell % 3 * 2 + 1);
        m_stateCounts[static_cast<std::size_t>(state)] = value;
        ++cell;
    }
    counts->setHorizontalSpacing(12);
    layout->addLayout(counts);

    auto* note = new QLabel(supervisetexts::doneMeaning(), this);
    note->setWordWrap(true);
    note->setEnabled(false);
    layout->addWidget(note);

    m_summary->setObjectName(QStringLiteral("summary"));
    m_summary->setWordWrap(true);
    m_summary->hide();
    layout->addWidget(m_summary);
    m_problems->setObjectName(QStringLiteral("problems"));
    m_problems->setReadOnly(true);
    m_problems->hide();
    layout->addWidget(m_problems);

    auto* buttons = new QDialogButtonBox(this);
    m_cancel = buttons->addButton(supervisetexts::cancel(), QDialogButtonBox::RejectRole);
    m_retry = buttons->addButton(supervisetexts::retryFailed(), QDialogButtonBox::ActionRole);
    m_close = buttons->addButton(supervisetexts::close(), QDialogButtonBox::AcceptRole);
    layout->addWidget(buttons);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        if (m_run)
            m_run->stop();
        m_cancel->setEnabled(false);
    });
    connect(m_retry, &QPushButton::clicked, this, &ProgressWindow::retryRequested);
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);

    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &ProgressWindow::showTimes);
    setMinimumWidth(440);
    follow(run);
}

void ProgressWindow::follow(SupervisedRun* run)
{
    if (m_run)
        disconnect(m_run, nullptr, this, nullptr);
    m_run = run;
    connect(run, &SupervisedRun::batchStarted, this, &ProgressWindow::showBatch);
    connect(run, &SupervisedRun::settled, this, &ProgressWindow::showSettled);
    connect(run, &SupervisedRun::finished, this, &ProgressWindow::showEnd);
    m_settled = 0;
    m_bar->setRange(0, static_cast<int>(run->indices().size()));
    m_bar->setValue(0);
    m_current->clear();
    m_current->show();
    m_summary->hide();
    m_problems->hide();
    m_cancel->show();
    m_cancel->setEnabled(true);
    m_retry->hide();
    m_close->hide();
    m_clock.start();
    m_timer->start();
    showSettled();
}

void ProgressWindow::reject()
{
    // Closing the window while the run goes on stops it; the window stays until the run has ended.
    if (m_run && m_run->running()) {
        m_run->stop();
        m_cancel->setEnabled(false);
        return;
    }
    QDialog::reject();
}

void ProgressWindow::showBatch(const std::vector<std::size_t>& indices)
{
    QStringList names;
    for (const std::size_t index : indices)
        names << displayName(m_run->content().drawings[index].name);
    m_current->setText(supervisetexts::inProgress(names.join(QStringLiteral(", "))));
}

void ProgressWindow::showSettled()
{
    std::array<qsizetype, 7> counts{};
    m_settled = 0;
    for (const std::size_t index : m_run->indices()) {
        const State state = m_run->content().drawings[index].state;
        ++counts[static_cast<std::size_t>(state)];
        if (state != State::Pending && state != State::Interrupted && state != State::NotRun)
            ++m_settled;
    }
    // Interrupted and not-run drawings count as settled once the run has ended.
    if (!m_run->running() && m_clock.isValid())
        m_settled = static_cast<qsizetype>(m_run->indices().size()) - counts[0];
    for (const State state : shownStates)
        m_stateCounts[static_cast<std::size_t>(state)]->setText(
            QString::number(counts[static_cast<std::size_t>(state)]));
    const auto total = static_cast<qsizetype>(m_run->indices().size());
    m_bar->setValue(static_cast<int>(m_settled));
    m_count->setText(supervisetexts::drawingCount(m_settled, total));
    if (m_settled == total)
        m_current->clear();
    showTimes();
}

void ProgressWindow::showTimes()
{
    if (!m_run)
        return;
    const qint64 elapsed = m_clock.elapsed();
    const auto total = static_cast<qsizetype>(m_run->indices().size());
    QString remaining;
    if (m_run->running() && m_settled > 0 && m_settled < total)
        remaining = duration(elapsed * (total - m_settled) / m_settled);
    m_times->setText(supervisetexts::times(duration(elapsed), remaining));
}

void ProgressWindow::showEnd()
{
    m_timer->stop();
    showSettled();
    m_current->hide();
    QStringList problems;
    for (const std::size_t index : m_run->indices()) {
        const supervise::DrawingEntry& entry = m_run->content().drawings[index];
        if (entry.state == State::Failed || entry.state == State::TimedOut)
            problems << supervisetexts::stateText(entry.state) + QStringLiteral(": ") + displayName(entry.name);
    }
    const supervise::RunOutcome& outcome = m_run->outcome();
    if (outcome.end == supervise::RunOutcome::End::Broken)
        m_summary->setText(supervisetexts::summaryBroken(nativeText(outcome.error)));
    else if (outcome.end == supervise::RunOutcome::End::Stopped)
        m_summary->setText(supervisetexts::summaryStopped());
    else if (problems.isEmpty())
        m_summary->setText(supervisetexts::summaryAllDone(static_cast<qsizetype>(m_run->indices().size())));
    else
        m_summary->setText(supervisetexts::summaryProblems());
    m_summary->show();
    m_problems->setPlainText(problems.join(QLatin1Char('\n')));
    m_problems->setVisible(!problems.isEmpty());
    m_cancel->hide();
    m_retry->setVisible(!supervise::drawingsToRetry(m_run->content()).empty());
    m_close->show();
    m_close->setDefault(true);
}
