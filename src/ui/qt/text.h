// Conversions between the model's texts and Qt's strings.
#pragma once

#include <QString>
#include <string>

namespace talmer::ui::qt {

inline QString to_qstring(const std::string &s) { return QString::fromStdString(s); }
inline std::string to_std(const QString &s) { return s.toStdString(); }

// A caption as the window shows it: each LF CR pair of a message is one line
// break (as are a CR LF pair and a lone CR or LF). The result is meant for
// plain-text display only.
QString display_text(const std::string &caption);

}  // namespace talmer::ui::qt
