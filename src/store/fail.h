#pragma once

// The store's one helper for a failure told as `false` and a text: it sets `error`, when
// the caller asked for one, and gives false, so that a failing step is one line.

#include <QString>

namespace taurelin {

inline bool Fail(QString* error, const QString& text) {
  if (error != nullptr) *error = text;
  return false;
}

}  // namespace taurelin
