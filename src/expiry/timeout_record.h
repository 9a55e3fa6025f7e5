#pragma once

// One entry of the time-out register as it lies in the file: 38 bytes holding three short
// texts, each a length byte followed by a fixed room for 8-bit characters.
//
//   byte 0        length of the reservation number (0-10)
//   bytes 1-10    the reservation number
//   byte 11       length of the expiry time (0-20; 14 when set)
//   bytes 12-31   the expiry time, local, "yyyyMMddhhmmss"
//   byte 32       length of the time-out (0-5)
//   bytes 33-37   the time-out in seconds as the client sent it (informative only)
//
// Bytes past a text's length carry no meaning; a length byte larger than its room reads as
// the full room, so no field ever reads into its neighbour. An entry without a reservation
// number is free.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace taurelin {

struct TimeOutRecord {
  static constexpr int kSize = 38;
  static constexpr int kRefnrRoom = 10;
  static constexpr int kExpiryRoom = 20;
  static constexpr int kTimeOutRoom = 5;
  // The expiry time's form; fixed width, so expiry times compare correctly as texts.
  static QString ExpiryFormat() { return QStringLiteral("yyyyMMddhhmmss"); }

  QString refnr;
  QString expiry;
  QString timeOut;

  bool isFree() const { return refnr.isEmpty(); }
  // Whether the expiry time is a moment in the register's form: 14 digits of a real date
  // and time.
  bool hasReadableExpiry() const;

  // Reads a record from exactly kSize bytes.
  static TimeOutRecord Decode(QByteArrayView bytes);
  // Whether the record in these kSize bytes holds reservation number `refnr` (the empty
  // text: whether it is free), as Decode(bytes).refnr == refnr would tell, without reading
  // the rest: a reservation looks through every record of the register.
  static bool HoldsRefnr(QByteArrayView bytes, const QString& refnr);
  // What is wrong with these kSize bytes as a record: a length byte beyond its room, or a
  // set entry whose expiry time is no readable time; empty when nothing is.
  static QStringList Damage(QByteArrayView bytes);
  // The record's kSize bytes: each text cut to its room, the unused room zero. A free
  // record is written with all three lengths 0.
  QByteArray encode() const;

  friend bool operator==(const TimeOutRecord&, const TimeOutRecord&) = default;
};

}  // namespace taurelin
