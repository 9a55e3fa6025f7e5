#include "store/stored_date.h"

#include <gtest/gtest.h>

namespace taurelin {
namespace {

QString Two(int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); }
QString Four(int n) { return QStringLiteral("%1").arg(n, 4, 10, QLatin1Char('0')); }

// The dates read by their digits are the dates Qt's parser reads, days that do not exist
// (the 29th of February of a common year, day or month 0 or past the end) included.
TEST(StoredDateTest, DigitsReadWhatQtsParserReads) {
  for (int year : {0, 1, 1900, 2000, 2023, 2024, 2100, 9999}) {
    for (int month = 0; month <= 13; ++month) {
      for (int day = 0; day <= 32; ++day) {
        const QString local = Two(day) + u'.' + Two(month) + u'.' + Four(year);
        const QString iso = Four(year) + u'-' + Two(month) + u'-' + Two(day);
        const QDate byQt = QDate::fromString(local, u"dd.MM.yyyy");
        ASSERT_EQ(LocalDateDigits(local), byQt) << local.toStdString();
        ASSERT_EQ(IsoDateDigits(iso), QDate::fromString(iso, u"yyyy-MM-dd")) << iso.toStdString();
        ASSERT_EQ(ArgumentDate(local), byQt.isValid() ? std::optional<QDate>(byQt) : std::nullopt)
            << local.toStdString();
      }
    }
  }
  // Another form is not read by digits.
  for (const char* other : {"1.12.2026", "01.12.26", "01-12-2026", "01.12.2026 ", "0a.12.2026"}) {
    EXPECT_EQ(LocalDateDigits(QString::fromLatin1(other)), std::nullopt) << other;
  }
}

}  // namespace
}  // namespace taurelin
