#pragma once

#include <QString>

#include <optional>

namespace taurelin {

// The integer reading used wherever the protocol turns a text into a whole number: an
// optional sign and decimal digits, nothing else (no blanks), within the range of int.
// Anything else is not an integer.
std::optional<int> ToInteger(const QString& text);

// The decimal text of `value`, as QString::number writes it. The texts of 0 to 999 are shared
// constants: a reply of thousands of counts allocates nothing for them.
QString IntegerText(qint64 value);

}  // namespace taurelin
