#pragma once

#include "supervise/engine.h"
#include "supervise/probe.h"

#include <QDialog>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace process {
class Interrupt;
}

// "Inställningar för övervakad körning...": drawings per CAD session, the time-out per drawing, CAD sessions at
// once, whether the chosen CAD program carries out drawing marks (with a probe that tries it), the command
// form, and the scripts each session runs at its start and end.
class SupervisedSettingsDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SupervisedSettingsDialog)

public:
    // programs: the CAD programs a run may start, each with its parameters and start drawing; those without a
    // program are left out. The policy's batch size, time-out, sessions, form and session scripts are shown; its
    // marks choice is the kept answer of each program.
    SupervisedSettingsDialog(const supervise::RunPolicy& policy, std::vector<script::CadProgram> programs,
                             QWidget* parent);
    // A probe in progress is stopped (its CAD program killed) and waited for.
    ~SupervisedSettingsDialog() override;

    // The form is nothing when the chosen one is what the chosen program's name calls for, so the setting
    // goes on following the program.
    supervise::RunPolicy policy() const;
    // The marks answer shown for each program the dialog has one for: the stored one, the user's or the probe's.
    std::vector<std::pair<std::string, bool>> marksChoices() const;
    bool probing() const { return m_probe.joinable(); }
    // The most sessions the spin box offers on this machine.
    static int mostSessions();

private:
    void showProgram(int row);
    void startProbe();
    void takeProbe(std::size_t program, Result<supervise::ProbeAnswer> answer);
    supervise::CommandForm programForm() const;
    // A file field with its browse button, as a row of the form.
    QLineEdit* addScriptField(QFormLayout* form, const QString& label, const QString& browse, const std::string& path,
                              const QString& name);

    std::vector<script::CadProgram> m_programs;
    std::vector<std::optional<bool>> m_marks; // per program
    bool m_formFollowsProgram = false;
    QSpinBox* m_batch;
    QDoubleSpinBox* m_timeout;
    QSpinBox* m_sessions;
    QComboBox* m_program;
    QCheckBox* m_marksBox;
    QPushButton* m_probeButton;
    QLabel* m_probeAnswer;
    QComboBox* m_form;
    QLineEdit* m_sessionStart = nullptr;
    QLineEdit* m_sessionEnd = nullptr;
    std::unique_ptr<process::Interrupt> m_interrupt;
    std::thread m_probe;
};
