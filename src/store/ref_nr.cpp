#include "store/ref_nr.h"

#include "store/statement.h"

#include <cmath>
#include <utility>

namespace taurelin {

RefNr::RefNr(QString text) : text_(std::move(text)) {
  const std::optional<QVariant> literal = NumericLiteral(text_);
  isNumber_ = literal.has_value();
  if (!literal) return;
  if (literal->typeId() == QMetaType::LongLong) {
    number_ = literal->toLongLong();
    return;
  }
  // A literal with a fraction, or one too long for 64 bits, comes as a double: it names a
  // booking only when it is whole and within range, as the database would compare it.
  const double value = literal->toDouble();
  if (std::trunc(value) == value && std::fabs(value) < 9.2e18) {
    number_ = static_cast<qint64>(value);
  }
}

}  // namespace taurelin
