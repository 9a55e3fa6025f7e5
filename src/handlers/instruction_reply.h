#pragma once

// What an instruction handler answers, as data: its columns and rows, or an error after the
// rows it listed before the error, and what the reply did that the dispatcher follows up
// (ReplyEffect). Only ReplyEnvelope (protocol) turns it into the text on the wire, so no
// handler writes or reads that text.

#include "handlers/handler_errors.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <initializer_list>
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
  void addRow(std::initializer_list<QString> values);
  void addRow(const QStringList& values);
  qsizetype rowCount() const { return rowEnds_.size(); }
  // Room for `rows` rows of `width` values, for a reply that knows about how many it lists.
  void reserveRows(qsizetype rows, qsizetype width);

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
  // The rows, each the list of its values: copies, for the faces that read them one by one.
  QList<QStringList> rows() const;
  QStringList row(qsizetype index) const;
  // Every row's values one after the other, as the envelope writes them.
  const QList<QString>& values() const { return values_; }
  const std::optional<HandlerError>& error() const { return error_; }
  Count count() const { return count_; }
  bool keepsLastSeparator() const { return keepsLastSeparator_ || error_.has_value(); }
  const ReplyEffect& effect() const { return effect_; }

 private:
  QString columns_;
  // The rows' values one after the other and where each row ends: no list of its own for each
  // row, so that a year's matrix of thousands of rows is not as many allocations more.
  QList<QString> values_;
  QList<qsizetype> rowEnds_;
  std::optional<HandlerError> error_;
  Count count_ = Count::kRows;
  bool keepsLastSeparator_ = false;
  ReplyEffect effect_;
};

}  // namespace taurelin
