#pragma once

#include <QString>

#include <stdexcept>

namespace taurelin {

// A statement failed: it could not be prepared, opened or executed, a value given for it was
// unusable, or a column could not be read as asked. Handlers turn it into their error reply.
class DatabaseError : public std::runtime_error {
 public:
  explicit DatabaseError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

}  // namespace taurelin
