#pragma once

#include <QString>

#include <stdexcept>

namespace taurelin {

// A statement failed: it could not be prepared, opened or executed, a value given for it was
// unusable, or a column could not be read as asked. Handlers turn it into their error reply.
//
// A failure whose cause is that the database could not be reached (the connection was
// refused, ended by the server, or its file could not be read) says so: a handler answers it
// with its database error, never as if a value of the request were wrong.
class DatabaseError : public std::runtime_error {
 public:
  enum class Cause { kStatement, kConnection };

  explicit DatabaseError(const QString& what, Cause cause = Cause::kStatement)
      : std::runtime_error(what.toStdString()), cause_(cause) {}

  bool connectionLost() const { return cause_ == Cause::kConnection; }

 private:
  Cause cause_;
};

}  // namespace taurelin
