#pragma once

#include "expiry/timeout_register.h"
#include "handlers/instruction.h"

#include <QString>

#include <functional>

namespace taurelin {

// What serving a request needs from the server around it. The protocol code keeps no state
// of its own between requests; everything it uses comes through here.
struct RequestContext {
  // Appends one line to the operation log. It may throw; a failure inside the parser's
  // failure path leaves ProcessRequest. Empty: nothing is logged.
  std::function<void(const QString& message)> writeLog;
  // The environment the instruction handlers run in.
  HandlerContext handlers;
  // The time-out register that reservations and bookings keep. Null: none is kept (the
  // built-in test run, tests of the protocol alone).
  TimeOutRegister* timeOuts = nullptr;
  // The most rows one request may carry; a request of more is refused before any row runs.
  int maxRows = kDefaultMaxRows;

  static constexpr int kDefaultMaxRows = 100;
};

}  // namespace taurelin
