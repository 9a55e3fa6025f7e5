#pragma once

// Test support: one-row requests as a web shop sends them, and the reply part of an answer.

#include <QByteArray>
#include <QDate>
#include <QString>

namespace taurelin {

// A day counted from today, in the protocol's date form.
inline QString Day(int fromToday) {
  return QDate::currentDate().addDays(fromToday).toString(QStringLiteral("yyyy.MM.dd"));
}

// A request of one row: `columns` after INSTRUKSJON, `values` starting with the keyword.
inline QByteArray Request(const QString& id, const QString& columns, const QString& values) {
  return ("messageID=" + id + "&count=1&header=INSTRUKSJON;" + columns + "&data=" + values + "\n")
      .toLatin1();
}

// A reservation of `units` cabins of type 1 at facility 1 for three nights from `arrival`
// days from today, as a new booking.
inline QByteArray Reservation(const QString& id, int units, int arrival = 30) {
  return Request(id,
                 QStringLiteral("ANLEGGSNR;UTYPE;UTL_OBJ;ANKOMST;AVREISE;PENSJONSTYPE;ANTALL;"
                                "ANT_PERSONER;AGENT;PRIS;REFNR;TIMEOUT"),
                 QStringLiteral("RESERVER;1;1;*;%1;%2;1;%3;2;1;;*;600")
                     .arg(Day(arrival), Day(arrival + 3))
                     .arg(units));
}

// The reply part of an answer (without its messageID section and LF).
inline QString Reply(const QByteArray& answer) {
  const QString text = QString::fromLatin1(answer).trimmed();
  return text.mid(text.indexOf(u'&'));
}

}  // namespace taurelin
