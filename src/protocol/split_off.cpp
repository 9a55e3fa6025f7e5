#include "protocol/split_off.h"

namespace taurelin {

QString SplitOff(QString& rest, const QString& separator) {
  const qsizetype at = rest.indexOf(separator);
  if (at < 0) {
    QString piece;
    piece.swap(rest);
    return piece;
  }
  QString piece = rest.left(at);
  rest.remove(0, at + separator.size());
  return piece;
}

}  // namespace taurelin
