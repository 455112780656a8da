#pragma once

#include "job/job.h"
#include "runs/qt/cadlauncher.h"

#include <QStringList>
#include <optional>
#include <string>

class FileList;
class FolderTree;
class QComboBox;
class ScriptTemplates;
class Settings;
class QWidget;

// "Spara som jobb..." and "Öppna jobb..." under "Verktyg": the window's folder, filter, marked drawings,
// template, CAD program and supervised-run settings written as a job file, and a job file set back into the
// window, so that a review or a run can follow.
class JobCommands final
{
public:
    struct Wiring
    {
        QWidget* window = nullptr;
        Settings* settings = nullptr;
        FolderTree* tree = nullptr;
        FileList* files = nullptr;
        QComboBox* filterBox = nullptr;
        QComboBox* templateBox = nullptr;
        ScriptTemplates* templates = nullptr;
        CadLauncher* launcher = nullptr;
        CadLauncher::Boxes acad;
        CadLauncher::Boxes icad;
    };

    explicit JobCommands(Wiring wiring);
    JobCommands(const JobCommands&) = delete;
    JobCommands& operator=(const JobCommands&) = delete;

    // Asks for the file, and which CAD program when both boxes name one, and writes the job. Gives the job's
    // path, or empty text when nothing was saved.
    QString saveAsJob();
    // Asks for a job file and sets the window to it; says what it could not set.
    void openJob();
    // The job file last saved or opened in this window; empty when none.
    QString currentJob() const { return m_currentJob; }

    // The job of the window as it is, to be written at jobPath (native bytes): the template and the folder
    // relative to the job's folder when they lie in it. Nothing when the window holds no run (the user is told).
    std::optional<job::Job> windowJob(const std::string& jobPath, CadKind kind) const;
    // Sets the window to the job read from jobPath; gives what could not be set, for the user.
    QStringList applyJob(const std::string& jobPath, const job::Job& job);

private:
    std::optional<CadKind> chooseKind() const;
    const CadLauncher::Boxes& boxes(CadKind kind) const
    {
        return kind == CadKind::Acad ? m_wiring.acad : m_wiring.icad;
    }
    void error(const QString& text) const;

    Wiring m_wiring;
    QString m_currentJob;
};
