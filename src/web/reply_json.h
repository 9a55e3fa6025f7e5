#pragma once

// Writes an instruction's reply as its endpoint's JSON answer: each row an object whose
// members are the endpoint's reply columns, looked up by column name in the reply's own
// header, with their JSON types. An empty value, or one that is not of its type, is null.

#include "handlers/instruction_reply.h"
#include "web/endpoint_table.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

namespace taurelin {

// The answer of a reply without error. `pathValue` is the path's {refnr}, when it has one.
QJsonObject ReplyJson(const Endpoint& endpoint, const InstructionReply& reply,
                      const QString& pathValue);

// An availability answer's offers that no price covers (the instruction leaves their board
// open and writes 0): their price becomes null and `priceReason` says "no_price", so that no
// client offers a stay at 0.
void MarkUnpricedOffers(QJsonObject& answer);

// One value of a reply in JSON.
QJsonValue JsonValue(ValueKind kind, const QString& text);

}  // namespace taurelin
