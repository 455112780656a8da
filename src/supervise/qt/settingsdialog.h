#pragma once

#include <QDialog>
#include <chrono>

class QDoubleSpinBox;
class QSpinBox;

// "Inställningar för övervakad körning...": drawings per CAD session and the time-out per drawing.
class SupervisedSettingsDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SupervisedSettingsDialog)

public:
    SupervisedSettingsDialog(int batchSize, std::chrono::milliseconds timeout, QWidget* parent);

    int batchSize() const;
    std::chrono::milliseconds timeout() const;

private:
    QSpinBox* m_batch;
    QDoubleSpinBox* m_timeout;
};
