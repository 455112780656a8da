#include "supervise/qt/settingsdialog.h"

#include "os/nativetext.h"
#include "os/processtree.h"
#include "supervise/qt/supervisetexts.h"
#include "widgets/dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <QToolButton>
#include <algorithm>

namespace {

using supervise::CommandForm;

} // namespace

int SupervisedSettingsDialog::mostSessions()
{
    return std::clamp(QThread::idealThreadCount() * 2, 1, int(supervise::RunPolicy::maxSessions));
}

SupervisedSettingsDialog::SupervisedSettingsDialog(const supervise::RunPolicy& policy,
                                                   std::vector<script::CadProgram> programs, QWidget* parent)
    : QDialog(parent), m_batch(new QSpinBox(this)), m_timeout(new QDoubleSpinBox(this)), m_sessions(new QSpinBox(this)),
      m_program(new QComboBox(this)), m_marksBox(new QCheckBox(this)),
      m_probeButton(new QPushButton(supervisetexts::probeButton(), this)), m_probeAnswer(new QLabel(this)),
      m_form(new QComboBox(this)), m_interrupt(std::make_unique<process::Interrupt>())
{
    setWindowTitle(supervisetexts::settingsTitle());
    auto* form = new QFormLayout(this);
    m_batch->setObjectName(QStringLiteral("batchSize"));
    using supervise::RunPolicy;
    m_batch->setRange(1, int(RunPolicy::maxBatchSize));
    m_batch->setValue(int(policy.batchSize));
    form->addRow(supervisetexts::batchSizeLabel(), m_batch);
    m_timeout->setObjectName(QStringLiteral("timeout"));
    m_timeout->setDecimals(1);
    m_timeout->setRange(double(RunPolicy::minTimeout.count()) / 1000, double(RunPolicy::maxTimeout.count()) / 1000);
    m_timeout->setSuffix(supervisetexts::timeoutSuffix());
    m_timeout->setValue(static_cast<double>(policy.timeout.count()) / 1000);
    form->addRow(supervisetexts::timeoutLabel(), m_timeout);
    m_sessions->setObjectName(QStringLiteral("sessions"));
    m_sessions->setRange(1, mostSessions());
    m_sessions->setValue(int(policy.sessions));
    form->addRow(supervisetexts::sessionsLabel(), m_sessions);

    for (script::CadProgram& program : programs) {
        if (program.path.empty())
            continue;
        m_program->addItem(nativeText(program.path));
        m_marks.push_back(supervise::storedMarks(program.path));
        m_programs.push_back(std::move(program));
    }
    m_program->setObjectName(QStringLiteral("program"));
    // A long path must not make the dialog as wide as itself.
    m_program->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_program->setMinimumContentsLength(40);
    m_program->setEnabled(!m_programs.empty());
    form->addRow(supervisetexts::programLabel(), m_program);
    m_marksBox->setObjectName(QStringLiteral("marks"));
    m_marksBox->setText(supervisetexts::marksBox());
    form->addRow(QString(), m_marksBox);
    m_probeButton->setObjectName(QStringLiteral("probe"));
    m_probeAnswer->setObjectName(QStringLiteral("probeAnswer"));
    m_probeAnswer->setWordWrap(true);
    m_probeAnswer->setTextFormat(Qt::PlainText);
    // Room for the usual answer from the start, so the dialog does not jump when it comes.
    m_probeAnswer->setMinimumHeight(2 * m_probeAnswer->fontMetrics().lineSpacing());
    auto* probeRow = new QHBoxLayout;
    probeRow->addWidget(m_probeButton);
    probeRow->addStretch(1);
    form->addRow(QString(), probeRow);
    form->addRow(QString(), m_probeAnswer);

    m_form->setObjectName(QStringLiteral("form"));
    m_form->addItem(supervisetexts::formName(0), int(CommandForm::Standard));
    m_form->addItem(supervisetexts::formName(1), int(CommandForm::Console));
    m_formFollowsProgram = !policy.form;
    if (policy.form)
        m_form->setCurrentIndex(m_form->findData(int(*policy.form)));
    form->addRow(supervisetexts::formLabel(), m_form);
    m_sessionStart = addScriptField(form, supervisetexts::sessionStartLabel(), supervisetexts::sessionStartBrowse(),
                                    policy.sessionStart, QStringLiteral("sessionStart"));
    m_sessionEnd = addScriptField(form, supervisetexts::sessionEndLabel(), supervisetexts::sessionEndBrowse(),
                                  policy.sessionEnd, QStringLiteral("sessionEnd"));

    setMinimumWidth(480);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_program, &QComboBox::currentIndexChanged, this, &SupervisedSettingsDialog::showProgram);
    connect(m_marksBox, &QCheckBox::clicked, this, [this](bool checked) {
        if (const int row = m_program->currentIndex(); row >= 0)
            m_marks[std::size_t(row)] = checked;
    });
    connect(m_probeButton, &QPushButton::clicked, this, &SupervisedSettingsDialog::startProbe);
    // Chosen by the user, the form no longer follows the program.
    connect(m_form, &QComboBox::activated, this, [this] { m_formFollowsProgram = false; });
    showProgram(m_program->currentIndex());
}

SupervisedSettingsDialog::~SupervisedSettingsDialog()
{
    if (m_probe.joinable()) {
        m_interrupt->raise();
        m_probe.join();
    }
}

QLineEdit* SupervisedSettingsDialog::addScriptField(QFormLayout* form, const QString& label, const QString& browse,
                                                    const std::string& path, const QString& name)
{
    auto* field = new QLineEdit(nativeText(path), this);
    field->setObjectName(name);
    field->setPlaceholderText(supervisetexts::sessionScriptPlaceholder());
    field->setClearButtonEnabled(true);
    auto* button = new QToolButton(this);
    button->setObjectName(name + QStringLiteral("Browse"));
    button->setText(supervisetexts::browse());
    button->setToolTip(browse);
    button->setAccessibleName(browse);
    auto* row = new QHBoxLayout;
    row->addWidget(field, 1);
    row->addWidget(button);
    form->addRow(label, row);
    // The label's access key goes to the field, not to the row.
    if (auto* labelWidget = qobject_cast<QLabel*>(form->labelForField(row)))
        labelWidget->setBuddy(field);
    connect(button, &QToolButton::clicked, this, [this, field, browse] {
        const QString chosen = dialogs::openFile(this, browse, supervisetexts::sessionScriptFilter(), field->text());
        if (!chosen.isEmpty())
            field->setText(chosen);
    });
    return field;
}

CommandForm SupervisedSettingsDialog::programForm() const
{
    const int row = m_program->currentIndex();
    return row < 0 ? CommandForm::Standard : supervise::formByName(m_programs[std::size_t(row)].path);
}

void SupervisedSettingsDialog::showProgram(int row)
{
    const bool chosen = row >= 0;
    m_marksBox->setEnabled(chosen);
    m_marksBox->setChecked(chosen && m_marks[std::size_t(row)].value_or(false));
    m_probeButton->setEnabled(chosen && !probing());
    if (!probing())
        m_probeAnswer->clear();
    if (m_formFollowsProgram)
        m_form->setCurrentIndex(m_form->findData(int(programForm())));
}

void SupervisedSettingsDialog::startProbe()
{
    const int row = m_program->currentIndex();
    if (row < 0 || probing())
        return;
    supervise::ProbeRequest request;
    request.program = m_programs[std::size_t(row)];
    const auto timeout = std::chrono::milliseconds(static_cast<std::int64_t>(m_timeout->value() * 1000));
    request.timeout = std::max(timeout, supervise::ProbeRequest::shortestTimeout);
    // The program is tried in the form the run would use.
    request.form = CommandForm(m_form->currentData().toInt());
    m_probeButton->setEnabled(false);
    m_program->setEnabled(false);
    m_probeAnswer->setText(supervisetexts::probing());
    const process::Interrupt* interrupt = m_interrupt.get();
    m_probe = std::thread([this, request = std::move(request), interrupt, program = std::size_t(row)] {
        Result<supervise::ProbeAnswer> answer = supervise::probeMarks(request, interrupt);
        // Dropped by Qt when the dialog is gone by then.
        QMetaObject::invokeMethod(
            this, [this, program, answer = std::move(answer)]() mutable { takeProbe(program, std::move(answer)); },
            Qt::QueuedConnection);
    });
}

void SupervisedSettingsDialog::takeProbe(std::size_t program, Result<supervise::ProbeAnswer> answer)
{
    if (m_probe.joinable())
        m_probe.join();
    if (answer) {
        (void)supervise::storeMarks(m_programs[program].path, answer->marksWork);
        m_marks[program] = answer->marksWork;
    }
    const bool marksWork = answer && answer->marksWork;
    m_probeAnswer->setText(marksWork ? supervisetexts::marksWork()
                                     : supervisetexts::marksFail(nativeText(answer ? answer->detail : answer.error())));
    if (const int needed = layout()->totalHeightForWidth(width()); needed > height())
        resize(width(), needed);
    m_program->setEnabled(true);
    m_probeButton->setEnabled(true);
    if (m_program->currentIndex() == int(program) && answer)
        m_marksBox->setChecked(answer->marksWork);
}

supervise::RunPolicy SupervisedSettingsDialog::policy() const
{
    supervise::RunPolicy policy;
    policy.batchSize = std::size_t(m_batch->value());
    policy.timeout = std::chrono::milliseconds(static_cast<std::int64_t>(m_timeout->value() * 1000 + 0.5));
    policy.sessions = std::size_t(m_sessions->value());
    const auto form = CommandForm(m_form->currentData().toInt());
    if (form != programForm())
        policy.form = form;
    // Whole paths, as a run keeps them in its journal; a field of blanks names none.
    const auto script = [](const QLineEdit* field) {
        const QString text = field->text();
        if (text.trimmed().isEmpty())
            return std::string();
        return nativeBytes(QDir::toNativeSeparators(QFileInfo(text).absoluteFilePath()));
    };
    policy.sessionStart = script(m_sessionStart);
    policy.sessionEnd = script(m_sessionEnd);
    return supervise::bounded(policy);
}

std::vector<std::pair<std::string, bool>> SupervisedSettingsDialog::marksChoices() const
{
    std::vector<std::pair<std::string, bool>> choices;
    for (std::size_t i = 0; i < m_programs.size(); ++i) {
        if (m_marks[i])
            choices.emplace_back(m_programs[i].path, *m_marks[i]);
    }
    return choices;
}
