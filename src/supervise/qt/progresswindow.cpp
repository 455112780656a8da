#include "supervise/qt/progresswindow.h"

#include "os/nativetext.h"
#include "supervise/marks.h"
#include "supervise/qt/consolelog.h"
#include "supervise/qt/supervisedrun.h"
#include "supervise/qt/supervisetexts.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStringListModel>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <cmath>

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

// A session's time, as short as it can be: "0:42", "12:05", "1:02:09".
QString shortDuration(qint64 ms)
{
    const qint64 seconds = std::max<qint64>(ms, 0) / 1000;
    const QString tail = QStringLiteral("%1").arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (seconds < 3600)
        return QStringLiteral("%1:%2").arg(seconds / 60).arg(tail);
    return QStringLiteral("%1:%2:%3").arg(seconds / 3600).arg(seconds / 60 % 60, 2, 10, QLatin1Char('0')).arg(tail);
}

} // namespace

ProgressWindow::ProgressWindow(SupervisedRun* run, QWidget* parent)
    : QDialog(parent), m_timer(new QTimer(this)), m_count(new QLabel(this)), m_bar(new QProgressBar(this)),
      m_sessionLines(new QVBoxLayout), m_times(new QLabel(this)), m_doneMeaning(new QLabel(this)),
      m_summary(new QLabel(this)), m_problemNames(new QStringListModel(this)), m_problems(new QListView(this))
{
    setObjectName(QStringLiteral("supervisedProgress"));
    setWindowTitle(supervisetexts::progressTitle());
    setWindowModality(Qt::WindowModal);

    auto* layout = new QVBoxLayout(this);
    m_count->setObjectName(QStringLiteral("count"));
    layout->addWidget(m_count);
    m_bar->setObjectName(QStringLiteral("drawings"));
    layout->addWidget(m_bar);
    m_sessionLines->setSpacing(2);
    layout->addLayout(m_sessionLines);
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

    m_doneMeaning->setWordWrap(true);
    m_doneMeaning->setEnabled(false);
    layout->addWidget(m_doneMeaning);

    m_summary->setObjectName(QStringLiteral("summary"));
    m_summary->setWordWrap(true);
    m_summary->hide();
    layout->addWidget(m_summary);
    m_problems->setObjectName(QStringLiteral("problems"));
    m_problems->setModel(m_problemNames);
    m_problems->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A reason is read whole: long lines wrap rather than run off to the side.
    m_problems->setWordWrap(true);
    m_problems->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_problems->hide();
    layout->addWidget(m_problems);
    connect(m_problems->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &ProgressWindow::chooseProblem);
    connect(m_problems, &QListView::doubleClicked, this, [this] {
        if (m_log->isVisible() && m_log->isEnabled())
            showLog();
    });

    auto* buttons = new QDialogButtonBox(this);
    m_cancel = buttons->addButton(supervisetexts::cancel(), QDialogButtonBox::RejectRole);
    m_log = buttons->addButton(supervisetexts::showLog(), QDialogButtonBox::ActionRole);
    m_report = buttons->addButton(supervisetexts::showReport(), QDialogButtonBox::ActionRole);
    m_report->setAccessibleName(supervisetexts::showReport());
    m_openReport = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    m_retry = buttons->addButton(supervisetexts::retryFailed(), QDialogButtonBox::ActionRole);
    m_close = buttons->addButton(supervisetexts::close(), QDialogButtonBox::AcceptRole);
    layout->addWidget(buttons);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        if (m_run)
            m_run->stop();
        m_cancel->setEnabled(false);
    });
    connect(m_log, &QPushButton::clicked, this, &ProgressWindow::showLog);
    connect(m_report, &QPushButton::clicked, this, [this] {
        if (m_run && !m_run->reportPath().empty())
            m_openReport(QUrl::fromLocalFile(nativeText(m_run->reportPath())));
    });
    connect(m_retry, &QPushButton::clicked, this, &ProgressWindow::retryRequested);
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);

    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, [this] {
        showSessions();
        showTimes();
    });
    setMinimumWidth(440);
    follow(run);
}

void ProgressWindow::follow(SupervisedRun* run)
{
    if (m_run)
        disconnect(m_run, nullptr, this, nullptr);
    m_run = run;
    m_doneMeaning->setText(supervisetexts::doneMeaning(run->marks()));
    connect(run, &SupervisedRun::sessionsChanged, this, &ProgressWindow::showSessions);
    connect(run, &SupervisedRun::settled, this, &ProgressWindow::showSettled);
    connect(run, &SupervisedRun::finished, this, &ProgressWindow::showEnd);
    m_settled = 0;
    m_bar->setRange(0, static_cast<int>(run->indices().size()));
    m_bar->setValue(0);
    for (QLabel* line : m_sessions)
        delete line;
    m_sessions.clear();
    for (std::size_t number = 1; number <= run->sessions().size(); ++number) {
        auto* line = new QLabel(this);
        line->setObjectName(QStringLiteral("session%1").arg(number));
        line->setTextFormat(Qt::PlainText);
        m_sessionLines->addWidget(line);
        m_sessions.push_back(line);
    }
    m_summary->hide();
    m_problems->hide();
    m_cancel->show();
    m_cancel->setEnabled(true);
    m_log->hide();
    m_report->hide();
    m_retry->hide();
    m_close->hide();
    m_clock.start();
    m_timer->start();
    showSessions();
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

QString ProgressWindow::drawingName(std::size_t index) const
{
    return displayName(m_run->content().drawings[index].name);
}

void ProgressWindow::showSessions()
{
    if (!m_run)
        return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (std::size_t i = 0; i < m_sessions.size(); ++i) {
        const SupervisedRun::Session& session = m_run->sessions()[i];
        const std::size_t number = i + 1;
        if (session.batch.empty()) {
            m_sessions[i]->setText(supervisetexts::sessionIdle(number));
            continue;
        }
        // The drawing its marks name; before any, the batch as a whole.
        const QString drawing = session.current ? drawingName(*session.current)
                                                : supervisetexts::batchHead(drawingName(session.batch.front()),
                                                                            qsizetype(session.batch.size()) - 1);
        m_sessions[i]->setText(supervisetexts::sessionBusy(number, drawing, shortDuration(now - session.sinceMs)));
    }
}

void ProgressWindow::showSettled()
{
    // Only what has its outcome from this run counts: a drawing taken up again keeps the state an earlier run
    // left until it has a new one. "Körda" are the drawings that ran to an outcome; interrupted and not-run
    // ones did not.
    std::array<qsizetype, 7> counts{};
    m_settled = 0;
    for (const std::size_t index : m_run->indices()) {
        if (!m_run->settledHere(index))
            continue;
        const State state = m_run->content().drawings[index].state;
        ++counts[static_cast<std::size_t>(state)];
        if (state != State::Interrupted && state != State::NotRun)
            ++m_settled;
    }
    for (const State state : shownStates)
        m_stateCounts[static_cast<std::size_t>(state)]->setText(
            QString::number(counts[static_cast<std::size_t>(state)]));
    const auto total = static_cast<qsizetype>(m_run->indices().size());
    m_bar->setValue(static_cast<int>(m_settled));
    m_count->setText(supervisetexts::drawingCount(m_settled, total));
    showTimes();
}

void ProgressWindow::showTimes()
{
    if (!m_run)
        return;
    const qint64 elapsed = m_clock.elapsed();
    const auto total = static_cast<qsizetype>(m_run->indices().size());
    QString remaining;
    const std::optional<double> perDrawing = m_run->msPerDrawing();
    if (m_run->running() && perDrawing && m_settled < total) {
        // The sessions share what is left: no more of them work than there are batches.
        const auto left = std::size_t(total - m_settled);
        supervise::RunPolicy policy = m_run->content().policy;
        policy.sessions = m_run->sessions().size();
        const std::size_t working = supervise::sessionsFor(policy, m_run->form(), left);
        remaining = duration(std::llround(*perDrawing * double(left) / double(working)));
    }
    m_times->setText(supervisetexts::times(duration(elapsed), remaining));
}

void ProgressWindow::showEnd()
{
    m_timer->stop();
    showSettled();
    for (QLabel* line : m_sessions)
        line->hide();
    QStringList problems;
    m_problemDrawings.clear();
    for (const std::size_t index : m_run->indices()) {
        const supervise::DrawingEntry& entry = m_run->content().drawings[index];
        if (entry.state == State::Failed || entry.state == State::TimedOut) {
            problems << supervisetexts::problem(entry.state, displayName(entry.name), nativeText(entry.exitStatus));
            m_problemDrawings.push_back(index);
        }
    }
    const supervise::RunOutcome& outcome = m_run->outcome();
    QString summary;
    if (outcome.end == supervise::RunOutcome::End::Broken)
        summary = supervisetexts::summaryBroken(nativeText(outcome.error));
    else if (outcome.end == supervise::RunOutcome::End::Stopped)
        summary = supervisetexts::summaryStopped();
    else if (problems.isEmpty())
        summary = supervisetexts::summaryAllDone(static_cast<qsizetype>(m_run->indices().size()));
    else
        summary = supervisetexts::summaryProblems();
    // Only a batch of several drawings has an outcome that is not each drawing's own.
    if (!m_run->marks() && m_run->batchSize() > 1)
        summary += u'\n' + supervisetexts::withoutMarks();
    if (!m_run->reportError().empty())
        summary += u'\n' + supervisetexts::reportFailed(QString::fromStdString(m_run->reportError()));
    m_report->setVisible(!m_run->reportPath().empty());
    m_summary->setText(summary);
    m_summary->show();
    m_problemNames->setStringList(problems);
    m_problems->setVisible(!problems.isEmpty());
    m_cancel->hide();
    m_log->setVisible(m_run->form() == supervise::CommandForm::Console && !problems.isEmpty());
    if (!problems.isEmpty())
        m_problems->setCurrentIndex(m_problemNames->index(0));
    chooseProblem();
    m_retry->setVisible(!supervise::drawingsToRetry(m_run->content()).empty());
    m_close->show();
    m_close->setDefault(true);
}

void ProgressWindow::chooseProblem()
{
    const int row = m_problems->currentIndex().row();
    bool logged = false;
    if (m_run && row >= 0 && std::size_t(row) < m_problemDrawings.size()) {
        const std::string path = supervise::consoleLogPath(m_run->journalPath(), m_problemDrawings[std::size_t(row)]);
        logged = QFileInfo(nativeText(path)).isFile();
    }
    m_log->setEnabled(logged);
}

void ProgressWindow::showLog()
{
    const int row = m_problems->currentIndex().row();
    if (!m_run || row < 0 || std::size_t(row) >= m_problemDrawings.size())
        return;
    const std::size_t index = m_problemDrawings[std::size_t(row)];
    const std::optional<QString> log = consolelog::read(supervise::consoleLogPath(m_run->journalPath(), index));
    if (!log)
        return;
    auto* dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("consoleLog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(supervisetexts::logTitle(drawingName(index)));
    auto* text = new QPlainTextEdit(*log, dialog);
    text->setObjectName(QStringLiteral("log"));
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    buttons->button(QDialogButtonBox::Close)->setText(supervisetexts::close());
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(text);
    layout->addWidget(buttons);
    dialog->resize(640, 420);
    dialog->open();
}
