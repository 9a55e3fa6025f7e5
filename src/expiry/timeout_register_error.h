#pragma once

// The failure of an operation on the time-out register, with the sentence that tells it.

#include <QString>

#include <stdexcept>

namespace taurelin {

// The register file could not be locked, opened, read or written.
class TimeOutRegisterError : public std::runtime_error {
 public:
  explicit TimeOutRegisterError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

}  // namespace taurelin
