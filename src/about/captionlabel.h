#pragma once

#include <QLabel>

// A label that takes its caption the way the program writes captions: "&" marks an access key and is not
// shown, "&&" shows one ampersand.
class CaptionLabel final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CaptionLabel)

public:
    explicit CaptionLabel(QWidget* parent = nullptr) : QLabel(parent) {}

    const QString& caption() const { return m_caption; }
    void setCaption(const QString& caption);

private:
    QString m_caption;
};
