#pragma once

#include "script/scripttemplate.h"
#include "supervise/journal.h"

#include <QObject>
#include <QPointer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class ProgressWindow;
class QWidget;
class SupervisedRun;

// Supervised runs in the window: a new run from the run commands, "Kör om misslyckade", and the offer at
// start to take up a run that Vendrel or the machine left unfinished. One run at a time.
class Supervisor final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Supervisor)

public:
    struct Limits
    {
        std::size_t batchSize = 1;
        std::chrono::milliseconds timeout{10 * 60 * 1000};
    };
    // A run as the run command prepared it: the template read, the drawings checked, the program found.
    struct Request
    {
        std::string templatePath;
        script::ScriptTemplate scriptTemplate;
        std::string cadKind;
        std::string program;
        std::string parameters;
        std::string startDrawing;
        std::string folder;
        std::string projectName;
        std::vector<std::string> names;
    };

    Supervisor(QWidget* window, std::function<Limits()> limits, QObject* parent = nullptr);
    ~Supervisor() override;

    // Starts a run with a journal of its own and shows its progress. Problems are shown as messages.
    void start(const Request& request);
    // At start: when a run was left unfinished, offers once to take it up. Declined, it is closed for good.
    void offerResume();
    bool busy() const;

    // The progress window of the run in progress or just ended (tests look at it).
    ProgressWindow* progressWindow() const;

private:
    // Runs drawings of an opened journal (resume or retry); gives whether a run began.
    bool runJournal(const std::string& path, bool retry);
    bool runOpened(std::unique_ptr<supervise::JournalWriter> journal, supervise::JournalContent content, bool retry);
    void begin(SupervisedRun* run);
    void error(const QString& text);

    QWidget* m_owner;
    std::function<Limits()> m_limits;
    QPointer<SupervisedRun> m_run;
    QPointer<ProgressWindow> m_window;
};
