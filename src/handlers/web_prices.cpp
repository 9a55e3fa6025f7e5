#include "handlers/web_prices.h"

#include "handlers/protocol_dates.h"
#include "store/database_session.h"
#include "store/statement.h"

namespace taurelin {

QList<WebPrice> OpenWebPriser(const HandlerContext& context, int type, int facility,
                              const QDate& arrival, const QDate& departure) {
  if (context.database == nullptr || context.database->dmBook() == nullptr) {
    throw DatabaseError(QStringLiteral("the booking database is not connected"),
                        DatabaseError::Cause::kConnection);
  }
  const QDate until = departure == arrival ? arrival.addDays(1) : departure;
  Statement s = context.database->dmBook()->qryWebPriser();
  s.bindDate(QStringLiteral("REFDATO"), FirstDayOfWeek(arrival));
  s.bindDate(QStringLiteral("ANK"), arrival);
  s.bindDate(QStringLiteral("AVR"), until);
  s.bindInteger(QStringLiteral("UTYPEN"), type);
  s.bindInteger(QStringLiteral("ANLEGGET"), facility);
  s.open();
  QList<WebPrice> prices;
  while (s.next()) {
    WebPrice price;
    price.priceCode = s.integer(QStringLiteral("INTPRISKODE"));
    price.total = s.number(QStringLiteral("FLTTOTALPRISER"));
    price.board = s.number(QStringLiteral("FLTPENSJON"));
    price.priceType = s.text(QStringLiteral("CHRPRISTYPE"));
    price.boardType = s.integer(QStringLiteral("intPRISMET"));
    price.boardTypeText = s.text(QStringLiteral("intPRISMET"));
    price.startDay = s.integer(QStringLiteral("START_DAG"));
    price.days = s.integer(QStringLiteral("ANT_DAGER"));
    prices.append(price);
  }
  return prices;
}

QList<WebPrice> PricesForStay(const QList<WebPrice>& prices, const QDate& arrival,
                              const QDate& departure, std::optional<double> boardType) {
  const int weekday = IsoDayOfWeek(arrival);
  const qint64 nights = arrival.daysTo(departure);
  QList<WebPrice> fitting;
  for (const WebPrice& price : prices) {
    const bool day = price.startDay == weekday || price.startDay == 0;
    const bool length = price.days <= nights || price.days == 0;
    const bool board = !boardType || price.boardType == *boardType;
    if (day && length && board) fitting.append(price);
  }
  return fitting;
}

double BoardTypeFilter(const QString& value) {
  const std::optional<QVariant> number = NumericLiteral(value);
  if (!number) throw ConversionError(QStringLiteral("'%1' is not a board type").arg(value));
  return number->toDouble();
}

}  // namespace taurelin
