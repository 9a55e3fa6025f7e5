#pragma once

#include <QString>

namespace taurelin {

// A duration as the operation log writes it: "S s M ms", the seconds within the minute and
// the milliseconds within the second.
QString FormatElapsed(qint64 milliseconds);

}  // namespace taurelin
