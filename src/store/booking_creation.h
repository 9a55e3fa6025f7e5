#pragma once

// Booking creation: one reservation written as a booking header (BOOKING) with a rental-type
// line ('U') and the object line ('O') that it owns, which is the line that occupies units.
//
// The header and both lines are written in one transaction: a failure leaves nothing of the
// call behind. A header that exists already (a reservation added to a booking) keeps its
// booker, remarks, status, dates and agent contact.

#include <QDate>
#include <QDateTime>
#include <QString>

namespace taurelin {

// The booking header to write. -1 in a number means "none" (NULL where the column allows it).
struct TBookingData {
  double AGENT_KONTAKT = -1;
  double AKODE = -1;
  double ANLEGGSNR = -1;
  QString ANM;
  QString ANM_INT;
  QString BEKREFT;
  QDateTime BEKREFT_DATO;  // invalid: none
  double BESTNR = -1;
  QString FAKTURER;
  double FORETAKSNR = -1;  // recomputed from the facility when saved
  int FORMAL = -1;
  QString FORSK_BET;
  QString KUPONG;
  double OPPR_AV = -1;
  double RABATT = 0;
  qint64 REFNR = 0;  // 0: take a new number
  QDate REG_DATO;
  int STATUS = 0;
  QString UTSJEKKET;  // empty: none
};

// One rental line to write; the object line is made from it.
struct TUtleieData {
  double A_PRIS = 0;
  QDate ANKOMST;
  int ANLEGG = 0;
  int ANTALL = 0;
  int ANT_VOKSEN = 0;
  int ANT_BARN = 0;
  int ANT_GRATIS = 0;
  QDate AVREISE;
  QString ETTER;
  QString FLOYKODE;  // empty: none
  QString FRITEKST;
  int LINJE_EIER = 0;
  int LINJENR = 0;
  int PENSJON = 0;   // 0: not written
  int PRISKODE = 0;  // 0: not written
  QString PRISTYPE;
  double RABATT = 0;
  QString LEIETYPE = QStringLiteral(" ");
  qint64 REFNR = 0;
  QString OBJNR = QStringLiteral("0");
  QString STATKODE;
  QChar state = u' ';  // 'I': to be inserted
  QString TIL;
  int UTYPE = 0;
};

}  // namespace taurelin
