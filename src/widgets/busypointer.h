#pragma once

#include <QCursor>
#include <QGuiApplication>

// The busy pointer for as long as it lives: work that keeps the window waiting shows it however it ends.
class BusyPointer
{
public:
    BusyPointer() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~BusyPointer() { QGuiApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};
