#include "handlers/conventions.h"
#include "handlers/protocol_dates.h"

#include "handlers/handler_test_fixture.h"

#include <gtest/gtest.h>

namespace taurelin {
namespace {

TEST(ProtocolDatesTest, ConvertByPositionsWithoutChecking) {
  EXPECT_EQ(LocalToProtocolDate(QStringLiteral("08.04.2000")), "2000.04.08");
  EXPECT_EQ(ProtocolToLocalDate(QStringLiteral("2000.04.14")), "14.04.2000");
  EXPECT_EQ(LocalToProtocolDate(QString()), "..");
  EXPECT_EQ(ProtocolToLocalDate(QStringLiteral("2000.4.8")), ".4..2000");
  EXPECT_EQ(LocalToProtocolDate(QStringLiteral("08.04.2000 12:00")), "2000.04.08");
  EXPECT_THROW(ParseLocalDate(QStringLiteral(".4..2000")), ConversionError);
  EXPECT_THROW(ParseLocalDate(QStringLiteral("31.02.2000")), ConversionError);
  EXPECT_EQ(ParseLocalDate(QStringLiteral("08.04.2000")), QDate(2000, 4, 8));
}

TEST(ProtocolDatesTest, WeekdaysCountFromMonday) {
  EXPECT_EQ(IsoDayOfWeek(QDate(2000, 4, 8)), 6);
  EXPECT_EQ(FirstDayOfWeek(QDate(2000, 4, 8)), QDate(2000, 4, 3));
  EXPECT_EQ(FirstDayOfWeek(QDate(2000, 4, 3)), QDate(2000, 4, 3));
  EXPECT_EQ(FirstDayOfWeek(QDate(2000, 4, 9)), QDate(2000, 4, 3));
  const QDateTime evening(QDate(2000, 4, 9), QTime(18, 30));
  EXPECT_EQ(FirstDayOfWeek(evening), QDateTime(QDate(2000, 4, 3), QTime(18, 30)));
}

TEST(ConventionsTest, NotGivenMarkerAndRounding) {
  for (const char* none : {"", " ", "*"}) EXPECT_TRUE(IsNotGiven(QString::fromUtf8(none)));
  for (const char* given : {"**", "  ", "0", "x"}) EXPECT_FALSE(IsNotGiven(QString::fromUtf8(given)));
  EXPECT_EQ(DecimalText(RoundPrice(1249.5)), "1250");
  EXPECT_EQ(DecimalText(RoundPrice(0.5)), "1");
  EXPECT_EQ(DecimalText(RoundPrice(1249.49)), "1249");
  EXPECT_EQ(DecimalText(RoundPrice(0)), "0");
}

class LookupTest : public HandlerTest {
 protected:
  LookupTest() {
    Run("INSERT INTO ANLEGG (ANLEGGSNR, ANLEGGSNAVN, FORETAKSNR) VALUES (7, 'Sju', 1);\n"
        "INSERT INTO UTYPE (UTYPE, KODE, BESKR) VALUES (3, 'H', 'Hytte');\n");
  }
};

TEST_P(LookupTest, FacilityAndTypeChecks) {
  const QString before = Fingerprint();
  EXPECT_EQ(CompanyLookup(context_, QStringLiteral("7")), Lookup::kFound);
  EXPECT_EQ(CompanyLookup(context_, QStringLiteral("8")), Lookup::kNotFound);
  EXPECT_THROW(CompanyLookup(context_, QStringLiteral("VG")), DatabaseError);
  EXPECT_EQ(FacilityNumberLookup(context_, QStringLiteral("7")), Lookup::kFound);
  EXPECT_EQ(FacilityNumberLookup(context_, QStringLiteral("07")), Lookup::kNotFound);
  EXPECT_EQ(FacilityNumberLookup(context_, QStringLiteral("-1")), Lookup::kNotFound);
  EXPECT_THROW(FacilityNumberLookup(context_, QStringLiteral("7 OR 1=1")), DatabaseError);
  EXPECT_EQ(RentalTypeLookup(context_, QStringLiteral("3"), TypeColumn::kQualified),
            Lookup::kFound);
  EXPECT_EQ(RentalTypeLookup(context_, QStringLiteral("3' OR '1'='1"), TypeColumn::kPlain),
            Lookup::kNotFound);
  EXPECT_EQ(DatabaseName(context_), "test");

  for (const QString& hostile : HostileValues()) {
    EXPECT_THROW(CompanyLookup(context_, hostile), DatabaseError) << hostile.toStdString();
  }
  EXPECT_EQ(Fingerprint(), before);
  HideTable("ANLEGG");
  EXPECT_THROW(FacilityNumberLookup(context_, QStringLiteral("7")), DatabaseError);
  RestoreTable("ANLEGG");
  EXPECT_EQ(FacilityNumberLookup(context_, QStringLiteral("7")), Lookup::kFound);

  HandlerContext none;
  EXPECT_THROW(CompanyLookup(none, QStringLiteral("7")), DatabaseError);
}

INSTANTIATE_TEST_SUITE_P(Backends, LookupTest, BothBackends(), BackendName());

}  // namespace
}  // namespace taurelin
