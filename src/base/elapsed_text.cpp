#include "base/elapsed_text.h"

namespace taurelin {

QString FormatElapsed(qint64 milliseconds) {
  return QString::number(milliseconds / 1000 % 60) + QStringLiteral(" s ") +
         QString::number(milliseconds % 1000) + QStringLiteral(" ms");
}

}  // namespace taurelin
