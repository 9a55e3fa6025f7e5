#pragma once

// The contract between the dispatcher and the instruction handlers.
//
// A handler receives the values that its keyword's table entry names, looked up in the
// request row by the dispatcher, plus the environment it may use (configuration, and the
// database session once there is one). It returns its reply as data (InstructionReply). A
// failure it does not turn into an error reply itself is thrown and ends the whole request
// in the parser's failure answer.

#include "handlers/instruction_reply.h"

#include <QDateTime>
#include <QLatin1String>
#include <QString>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QSettings;

namespace taurelin {

class DatabaseSession;

// The values of one request row that its handler asked for, by column name. A column that
// was not asked for, or whose value is absent from the row, reads as the empty text.
class InstructionValues {
 public:
  void set(QLatin1String column, QString value);
  QString operator[](QLatin1String column) const;

 private:
  std::vector<std::pair<QLatin1String, QString>> values_;
};

// What a handler may use besides its values. Members are added as the subsystems they
// stand for arrive; a null member means "not available in this process".
class BookingEvents;

struct HandlerContext {
  // The configuration store; also where the regional settings can be overridden.
  QSettings* configuration = nullptr;
  // The booking database: the session connection, the summary and the data module.
  DatabaseSession* database = nullptr;
  // Registers a reservation's time-out (the request's REFNR, the reservation's number, the
  // TIMEOUT text) while its booking is still uncommitted; throws when the register cannot be
  // written, and the reservation is then not kept. Empty: no register is kept.
  std::function<void(const QString& requestRefnr, const QString& refnr,
                     const QString& timeOut)>
      registerTimeOut;
  // Told of what changes bookings, inside their transactions (the mails they call for).
  // Null: nothing is told.
  BookingEvents* events = nullptr;
  // Above 0: a booker given by this caller does not finish the booking but waits for the
  // guest to confirm it from a mail, and the hold is kept this many seconds longer.
  int confirmSeconds = 0;
  // Keeps the hold `refnr` `seconds` longer than it was to end (0: as it is) and says when it
  // now ends; nothing when that is not known. Throws when the register cannot be written.
  // Empty: no register is kept.
  std::function<std::optional<QDateTime>(const QString& refnr, int seconds)> extendHold;
  // The language the caller of this request speaks (a guest's booking page sends it); empty
  // when it named none.
  QString language;
};

using InstructionHandler = InstructionReply (*)(const InstructionValues& values,
                                                HandlerContext& context);

}  // namespace taurelin
