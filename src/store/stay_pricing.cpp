#include "store/stay_pricing.h"

#include <QByteArray>
#include <QHash>

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

QList<PricedSource> PriceSources(const QList<WebPriceSource>& sources, QDate arrival,
                                 QDate departure, std::optional<qint64>* outOfRange) {
  QList<PricedSource> priced;
  outOfRange->reset();
  for (const WebPriceSource& source : sources) {
    const StayPrice price = PriceStay(source.lines, source.days, arrival, departure);
    if (price.outcome == StayPrice::OutOfRange) {
      *outOfRange = source.id;
      return {};
    }
    if (price.outcome == StayPrice::Priced) priced.append({&source, price});
  }
  return priced;
}

namespace {

// -1, 0 or 1 as a missing value (first) or `a` orders before, with or after `b`.
template <typename T, typename Less>
int CompareOptional(const std::optional<T>& a, const std::optional<T>& b, Less less) {
  if (!a || !b) return a ? 1 : (b ? -1 : 0);
  return less(*a, *b) ? -1 : (less(*b, *a) ? 1 : 0);
}

}  // namespace

void SortAsPriceMatrix(QList<PricedSource>& priced) {
  // Text is compared as the databases compare it: by its UTF-8 bytes, which orders as code
  // points do (UTF-16 code units would not, past the surrogates).
  QHash<const WebPriceSource*, QByteArray> bytes;
  for (const PricedSource& p : priced) {
    if (p.source->description) bytes.insert(p.source, p.source->description->toUtf8());
  }
  const auto textLess = [](const QByteArray& a, const QByteArray& b) { return a < b; };
  const auto numberLess = [](qint64 a, qint64 b) { return a < b; };
  std::stable_sort(priced.begin(), priced.end(), [&](const PricedSource& a, const PricedSource& b) {
    const WebPriceSource& x = *a.source;
    const WebPriceSource& y = *b.source;
    const auto text = [&](const WebPriceSource& s) {
      return s.description ? std::optional<QByteArray>(bytes.value(&s)) : std::nullopt;
    };
    if (const int c = CompareOptional(text(x), text(y), textLess)) return c < 0;
    if (const int c = CompareOptional(x.method, y.method, numberLess)) return c < 0;
    if (x.startDay != y.startDay) return x.startDay < y.startDay;
    return x.days < y.days;
  });
}

double AmountNumber(qint64 hundredths) {
  // From the decimal text: dividing hundredths beyond 2^53 would round twice.
  const quint64 magnitude = hundredths < 0 ? 0 - static_cast<quint64>(hundredths)
                                           : static_cast<quint64>(hundredths);
  const QByteArray text = (hundredths < 0 ? QByteArray("-") : QByteArray()) +
                          QByteArray::number(magnitude / 100) + '.' +
                          QByteArray::number(magnitude % 100).rightJustified(2, '0');
  return text.toDouble();
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
