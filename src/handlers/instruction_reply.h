#pragma once

// What an instruction handler answers, as data: its columns and rows, or an error after the
// rows it listed before the error, and what the reply did that the dispatcher follows up
// (ReplyEffect). Only ReplyEnvelope (protocol) turns it into the text on the wire, so no
// handler writes or reads that text.

#include "handlers/handler_errors.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace taurelin {

// What a reply did beyond answering.
struct ReplyEffect {
  enum class Kind {
    kNone,
    // A unit is held under `refnr` for `timeOut` seconds (the request's TIMEOUT text). Its
    // time-out was registered before the hold was committed; nothing is left to do after.
    kReserved,
    // `refnr` has its booker: it no longer expires.
    kBookerAttached,
    // `refnr` has a booker that waits for its guest's confirmation: it is still a hold.
    kAwaitingConfirmation,
  };
  Kind kind = Kind::kNone;
  QString refnr;
  QString timeOut;
};

class InstructionReply {
 public:
  // What the count of the reply says.
  enum class Count { kRows, kZero, kNone };

  explicit InstructionReply(QString columns) : columns_(std::move(columns)) {}

  // Appends a row: the keyword, then one value per further column.
  void addRow(QStringList values) { rows_.append(std::move(values)); }
  qsizetype rowCount() const { return rows_.size(); }

  // Failure: the count says 0; the rows listed before it stay in the data.
  InstructionReply& fail(HandlerError error);
  // Failure that still counts the rows listed before it.
  InstructionReply& failCountingRows(HandlerError error);
  // The reply has no count at all (a cancellation that found nothing to cancel).
  InstructionReply& omitCount();
  // The data keeps the separator after its last value (the regional settings' reply).
  InstructionReply& keepLastSeparator();
  InstructionReply& setEffect(ReplyEffect effect);

  const QString& columns() const { return columns_; }
  const QList<QStringList>& rows() const { return rows_; }
  const std::optional<HandlerError>& error() const { return error_; }
  Count count() const { return count_; }
  bool keepsLastSeparator() const { return keepsLastSeparator_ || error_.has_value(); }
  const ReplyEffect& effect() const { return effect_; }

 private:
  QString columns_;
  QList<QStringList> rows_;
  std::optional<HandlerError> error_;
  Count count_ = Count::kRows;
  bool keepsLastSeparator_ = false;
  ReplyEffect effect_;
};

}  // namespace taurelin
