#include "ui/qt/text.h"

#include "ui/headless.h"

namespace talmer::ui::qt {

QString display_text(const std::string &caption) {
  QString s = to_qstring(printable_message(caption));
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}

}  // namespace talmer::ui::qt
