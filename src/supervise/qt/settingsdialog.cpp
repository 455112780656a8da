#include "supervise/qt/settingsdialog.h"

#include "supervise/qt/supervisetexts.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QSpinBox>

SupervisedSettingsDialog::SupervisedSettingsDialog(int batchSize, std::chrono::milliseconds timeout, QWidget* parent)
    : QDialog(parent), m_batch(new QSpinBox(this)), m_timeout(new QDoubleSpinBox(this))
{
    setWindowTitle(supervisetexts::settingsTitle());
    auto* form = new QFormLayout(this);
    m_batch->setObjectName(QStringLiteral("batchSize"));
    m_batch->setRange(1, 1000);
    m_batch->setValue(batchSize);
    form->addRow(supervisetexts::batchSizeLabel(), m_batch);
    m_timeout->setObjectName(QStringLiteral("timeout"));
    m_timeout->setDecimals(1);
    m_timeout->setRange(0.1, 86400);
    m_timeout->setSuffix(supervisetexts::timeoutSuffix());
    m_timeout->setValue(static_cast<double>(timeout.count()) / 1000);
    form->addRow(supervisetexts::timeoutLabel(), m_timeout);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

int SupervisedSettingsDialog::batchSize() const
{
    return m_batch->value();
}

std::chrono::milliseconds SupervisedSettingsDialog::timeout() const
{
    return std::chrono::milliseconds(static_cast<std::int64_t>(m_timeout->value() * 1000 + 0.5));
}
