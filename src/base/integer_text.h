#pragma once

#include <QString>

#include <optional>

namespace taurelin {

// The integer reading used wherever the protocol turns a text into a whole number: an
// optional sign and decimal digits, nothing else (no blanks), within the range of int.
// Anything else is not an integer.
std::optional<int> ToInteger(const QString& text);

}  // namespace taurelin
