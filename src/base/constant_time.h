#pragma once

// Comparing secrets without telling, by the time taken, how much of a guess was right.

#include <QByteArrayView>

namespace taurelin {

// Whether `a` and `b` hold the same bytes. The time depends on their lengths only, never on
// where they first differ.
bool EqualInConstantTime(QByteArrayView a, QByteArrayView b);

}  // namespace taurelin
