#include "store/stay_pricing.h"

#include <algorithm>
#include <vector>

namespace taurelin {

StayPrice PriceStay(const QList<PriceLine>& lines, int packageDays, QDate arrival,
                    QDate departure) {
  StayPrice price;
  if (!arrival.isValid() || !departure.isValid()) return price;
  const qint64 first = arrival.toJulianDay();
  const qint64 end = departure.toJulianDay();
  if (end <= first) return price;

  // Latest start first: the first line found that covers a night is the one that wins.
  std::vector<const PriceLine*> ordered;
  for (const PriceLine& line : lines) {
    if (line.from.isValid()) ordered.push_back(&line);
  }
  std::sort(ordered.begin(), ordered.end(),
            [](const PriceLine* a, const PriceLine* b) { return a->from > b->from; });
  const auto covering = [&](qint64 night) -> const PriceLine* {
    for (const PriceLine* line : ordered) {
      if (line->from.toJulianDay() > night) continue;
      if (!line->until.isValid() || night < line->until.toJulianDay()) return line;
    }
    return nullptr;
  };

  bool overflow = false;
  qint64 total = 0;
  for (qint64 night = first; night < end; ++night) {
    const PriceLine* line = covering(night);
    if (line == nullptr) return price;
    if (night == first) price.firstNight = line->amount;
    qint64 amount = 0;
    if (packageDays > 1) {
      if ((night - first) % packageDays != 0) continue;  // inside a package already paid
      amount = line->amount;
    } else {
      const int weekday = QDate::fromJulianDay(night).dayOfWeek();
      const bool weekend = weekday == Qt::Friday || weekday == Qt::Saturday;
      amount = weekend && line->weekendAmount > 0 ? line->weekendAmount : line->amount;
    }
    overflow = overflow || __builtin_add_overflow(total, amount, &total);
  }
  price.total = total;
  price.outcome = overflow ? StayPrice::OutOfRange : StayPrice::Priced;
  return price;
}

namespace {

// The price methods that have a letter. The PostgreSQL procedure's CASE lists the same.
struct PriceMethod {
  int startDay;
  int days;
  char16_t letter;
};
constexpr PriceMethod kLettered[] = {{7, 7, u'U'}, {7, 5, u'M'}, {5, 2, u'H'}, {0, 1, u'D'}};

}  // namespace

QString PriceTypeCode(int startDay, int days) {
  for (const PriceMethod& method : kLettered) {
    if (method.startDay == startDay && method.days == days) return QString(QChar(method.letter));
  }
  return QStringLiteral("P");
}

QString PriceMethodText(const QString& startAndDays) {
  for (const PriceMethod& method : kLettered) {
    if (startAndDays == QString::number(method.startDay) + u'/' + QString::number(method.days)) {
      return QString(QChar(method.letter));
    }
  }
  return startAndDays;
}

}  // namespace taurelin
