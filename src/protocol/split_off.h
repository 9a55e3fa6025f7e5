#pragma once

#include <QString>

namespace taurelin {

// Cuts `rest` at the first occurrence of `separator`: returns the piece before it and leaves
// in `rest` what follows it. Without an occurrence, returns all of `rest` and empties it.
// Every section, column name and value of a request is cut with this.
QString SplitOff(QString& rest, const QString& separator);

}  // namespace taurelin
