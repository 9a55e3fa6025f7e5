#include "handlers/instruction_reply.h"

#include <utility>

namespace taurelin {

void InstructionReply::addRow(std::initializer_list<QString> values) {
  for (const QString& value : values) values_.append(value);
  rowEnds_.append(values_.size());
}

void InstructionReply::addRow(const QStringList& values) {
  values_.append(values);
  rowEnds_.append(values_.size());
}

void InstructionReply::reserveRows(qsizetype rows, qsizetype width) {
  values_.reserve(rows * width);
  rowEnds_.reserve(rows);
}

QStringList InstructionReply::row(qsizetype index) const {
  const qsizetype begin = index == 0 ? 0 : rowEnds_.at(index - 1);
  return values_.mid(begin, rowEnds_.at(index) - begin);
}

QList<QStringList> InstructionReply::rows() const {
  QList<QStringList> rows;
  rows.reserve(rowEnds_.size());
  for (qsizetype i = 0; i < rowEnds_.size(); ++i) rows.append(row(i));
  return rows;
}

InstructionReply& InstructionReply::fail(HandlerError error) {
  error_ = std::move(error);
  count_ = Count::kZero;
  return *this;
}

InstructionReply& InstructionReply::failCountingRows(HandlerError error) {
  error_ = std::move(error);
  count_ = Count::kRows;
  return *this;
}

InstructionReply& InstructionReply::omitCount() {
  count_ = Count::kNone;
  return *this;
}

InstructionReply& InstructionReply::keepLastSeparator() {
  keepsLastSeparator_ = true;
  return *this;
}

InstructionReply& InstructionReply::setEffect(ReplyEffect effect) {
  effect_ = std::move(effect);
  return *this;
}

}  // namespace taurelin
