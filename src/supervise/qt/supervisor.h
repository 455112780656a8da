#pragma once

#include "runs/qt/supervisedplan.h"
#include "script/runrequest.h"
#include "supervise/journal.h"
#include "supervise/runstart.h"

#include <QObject>
#include <QPointer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ProgressWindow;
class QWidget;
class SupervisedRun;

// Supervised runs in the window: a new run from the run commands, "Kör om misslyckade", and the offer at
// start to take up a run that Vendrel or the machine left unfinished. One run at a time.
class Supervisor final : public QObject, public SupervisedRuns
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Supervisor)

public:
    // policy: what the settings say of every new run; enabled: whether runs are supervised.
    Supervisor(QWidget* window, std::function<supervise::RunPolicy()> policy, std::function<bool()> enabled = {},
               QObject* parent = nullptr);
    ~Supervisor() override;

    bool enabled() const override;
    // Starts a run with a journal of its own and shows its progress. Problems are shown as messages.
    void start(script::RunRequest request);
    // How a run of the request would write its scripts if it began now: a new journal's path and, when the
    // request's program carries out marks, the marks file. start(request, plan) then writes exactly that.
    SupervisedPlan plan(const script::RunRequest& request) const override;
    void start(script::RunRequest request, const SupervisedPlan& plan) override;
    // At start: when a run was left unfinished, offers once to take it up. Declined, it is closed for good.
    void offerResume();
    bool busy() const;

    // The progress window of the run in progress or just ended (tests look at it).
    ProgressWindow* progressWindow() const;

private:
    // Begins an opened run, or tells why there is none; gives whether a run began.
    bool begin(supervise::StartResult started);
    // The settings' policy for a run over the program; the marks the plan has when it has them.
    supervise::RunPolicy policyFor(const std::string& program, const SupervisedPlan* plan = nullptr) const;
    void error(const QString& text);

    QWidget* m_owner;
    std::function<supervise::RunPolicy()> m_policy;
    std::function<bool()> m_enabled;
    QPointer<SupervisedRun> m_run;
    QPointer<ProgressWindow> m_window;
};
