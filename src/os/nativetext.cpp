#include "os/nativetext.h"

#include <QByteArray>
#include <algorithm>

QString displayName(std::string_view bytes)
{
    QString text = nativeText(bytes);
    const auto control = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; };
    if (std::none_of(bytes.begin(), bytes.end(), control))
        return text;
    for (QChar& c : text) {
        if (c.unicode() < 0x20)
            c = QChar(0x2400 + c.unicode()); // the Control Pictures block: U+240A shows a line feed
        else if (c.unicode() == 0x7f)
            c = QChar(0x2421);
    }
    return text;
}
