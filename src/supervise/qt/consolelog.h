#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>

// What the headless console wrote for a drawing.
namespace consolelog {

// The bytes as text: UTF-16LE, with or without its byte-order mark, as the console writes; anything that does
// not look like UTF-16 in the local 8-bit code page.
QString text(const QByteArray& bytes);
// The file at path as text, its first 16 MiB at most; nothing when it cannot be read.
std::optional<QString> read(const std::string& path);

} // namespace consolelog
