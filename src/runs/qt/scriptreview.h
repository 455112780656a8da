#pragma once

#include "script/expandtemplate.h"
#include "script/runrequest.h"
#include "script/scriptcheck.h"

#include <QDialog>
#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QListView;
class QPushButton;
class QTreeView;
class Settings;
class ScriptLinesModel;
class FindingsModel;

// "Granska script": the script exactly as a run writes it, line by line with blanks and line ends made
// visible, the lines the check has something to say about marked in the margin, and the findings below.
// Its run buttons start the CAD program on exactly the bytes shown.
class ScriptReviewDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScriptReviewDialog)

public:
    // The roles of the script view's rows beyond the shown text.
    enum Role
    {
        LineTextRole = Qt::UserRole + 1, // the line as text, without the visible marks
        LineNumberRole,                  // from 1
        MarkRole,                        // Mark
    };
    enum class Mark
    {
        None,
        Empty,
        Warning,
        Error,
    };

    // Writes the script and starts the kind's program on it; gives whether the program started.
    using Runner = std::function<bool(CadKind, const script::Script&)>;

    ScriptReviewDialog(QWidget* parent, Settings& settings, script::RunRequest request, script::Script script,
                       std::vector<script::Finding> findings, std::optional<CadKind> askingRun);
    ~ScriptReviewDialog() override;

    void setRunner(Runner runner) { m_runner = std::move(runner); }
    // A line under the summary.
    void addNote(const QString& note);

    const script::RunRequest& request() const { return m_request; }
    const script::Script& script() const { return m_script; }
    QListView* scriptView() const { return m_scriptView; }
    QTreeView* findingsView() const { return m_findingsView; }
    QPushButton* runButton(CadKind kind) const { return kind == CadKind::Acad ? m_runAcad : m_runIcad; }
    QPushButton* saveButton() const { return m_save; }
    QPushButton* closeButton() const { return m_close; }

    // Shows the script line of the finding in the list's row.
    void showFinding(int row);

    void done(int result) override;

private:
    void run(CadKind kind);
    void saveAs();
    QString summary() const;

    Settings& m_settings;
    script::RunRequest m_request;
    script::Script m_script;
    std::vector<script::Finding> m_findings;
    Runner m_runner;
    ScriptLinesModel* m_lines = nullptr;
    FindingsModel* m_findingsModel = nullptr;
    QLabel* m_summary = nullptr;
    QListView* m_scriptView = nullptr;
    QTreeView* m_findingsView = nullptr;
    QPushButton* m_runAcad = nullptr;
    QPushButton* m_runIcad = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_close = nullptr;
};
