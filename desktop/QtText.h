#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace tesseron {

// The core keeps text as UTF-8 in std::string; the forms convert at their edge with these.
inline QString ToQString(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}
inline std::string ToStdString(const QString& text) {
    return text.toStdString(); // UTF-8
}

} // namespace tesseron
