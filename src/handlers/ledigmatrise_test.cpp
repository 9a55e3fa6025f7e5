#include "handlers/ledigmatrise.h"

#include "handlers/handler_test_fixture.h"
#include "handlers/protocol_dates.h"

#include <gtest/gtest.h>

#include <QDate>

namespace taurelin {
namespace {

const QString kLedigmatriseHeader = QStringLiteral(
    "&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;DATO;LEDIG;ALLOTMENT;TILBUD&data=");

QString Failure(const QString& code, const QString& message) {
  return "&count=0" + kLedigmatriseHeader + "&errorcode='" + code + "'&errormessage=" + message;
}

const QString kMatrixFailed = Failure(
    QStringLiteral("-xxxx"),
    QStringLiteral("Kan ikke åpne spørringen på HENT_LEDIG_MATRISE ved database test"));

// Facility 7 has two units of type 3 and three of type 5, facility 8 one of type 5. One unit
// of type 5 at facility 7 is booked for the nights of 8 and 9 April 2000. Agent 4 holds one
// unit of type 3 at facility 7 a month ahead (the release horizon counts from today).
class LedigmatriseTest : public HandlerTest {
 protected:
  LedigmatriseTest() {
    Run("INSERT INTO ANLEGG (ANLEGGSNR) VALUES (7), (8);\n"
        "INSERT INTO FLOY (FLOYKODE, ANLEGG) VALUES ('A', 7), ('B', 8);\n"
        "INSERT INTO UTYPE (UTYPE, BESKR) VALUES (3, 'Enkelt'), (5, 'Dobbelt');\n"
        "INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE) VALUES ('A1', 3, 'A'), ('A2', 3, 'A'),"
        "  ('A3', 5, 'A'), ('A4', 5, 'A'), ('A5', 5, 'A'), ('B1', 5, 'B');\n"
        "INSERT INTO BRUKERRETT (ANLEGGSNR, BRUKERID, MODUL_ID, RETTIGHET) VALUES"
        "  (7, 0, 1, 2), (8, 0, 1, 2);\n"
        "INSERT INTO BOOKING (REFNR) VALUES (1);\n"
        "INSERT INTO LEIE (LINJENR, REFNR, ANKOMST, AVREISE, UTYPE, ANLEGG, LEIETYPE, ANTALL)"
        "  VALUES (1, 1, '2000-04-08', '2000-04-10', 5, 7, 'O', 1);\n"
        "INSERT INTO ALLOT (ALLOT_ID, AKODE, ANLEGGSNR) VALUES (1, 4, 7);\n");
    Run(QStringLiteral("INSERT INTO ALLOTLINJE (ALLOTLINJENR, ALLOT_ID, ALLOTTYPE, ANTALL, "
                       "DAGER_FOER, FRA, TIL, UTYPE, REQUEST) VALUES (1, 1, 'K', 1, 3, '%1', "
                       "'%1', 3, 'A')")
            .arg(kAhead.toString(Qt::ISODate))
            .toUtf8()
            .constData());
  }

  QString Matrix(const QString& facility, const QString& type, const QString& object,
                 const QString& agent, const QString& from, const QString& to) {
    return Call(HandleLedigmatrise, {{"ANLEGGSNR", facility},
                                     {"UTYPE", type},
                                     {"UTL_OBJ", object},
                                     {"AGENT", agent},
                                     {"FRA", from},
                                     {"TIL", to}});
  }
  // Two days of April 2000 with the given facility, type and agent; no object.
  QString April(const QString& facility, const QString& type = QStringLiteral("*"),
                const QString& agent = QStringLiteral("*")) {
    return Matrix(facility, type, QStringLiteral(""), agent, QStringLiteral("2000.04.09"),
                  QStringLiteral("2000.04.10"));
  }

  const QDate kAhead = QDate::currentDate().addDays(30);
  const QString kAheadText = kAhead.toString(QStringLiteral("yyyy.MM.dd"));
};

TEST_P(LedigmatriseTest, AnswersPerTypeAndDay) {
  EXPECT_EQ(Call(HandleLedigmatrise,
                 {{"ANLEGGSNR", "7"}, {"UTYPE", "*"}, {"UTL_OBJ", " "}, {"AGENT", "*"},
                  {"FRA", "2000.04.09"}, {"TIL", "2000.04.10"}}),
            "&count=4" + kLedigmatriseHeader +
                "LEDIGMATRISE;7;3; ;2000.04.09;2;0;2;LEDIGMATRISE;7;3; ;2000.04.10;2;0;2;"
                "LEDIGMATRISE;7;5; ;2000.04.09;2;0;2;LEDIGMATRISE;7;5; ;2000.04.10;3;0;3");
  // All facilities: the units of both summed, and "-1" in every row.
  EXPECT_EQ(April(QStringLiteral("-1")),
            "&count=4" + kLedigmatriseHeader +
                "LEDIGMATRISE;-1;3; ;2000.04.09;2;0;2;LEDIGMATRISE;-1;3; ;2000.04.10;2;0;2;"
                "LEDIGMATRISE;-1;5; ;2000.04.09;3;0;3;LEDIGMATRISE;-1;5; ;2000.04.10;4;0;4");
  // A given type restricts the rows to it.
  EXPECT_EQ(April(QStringLiteral("8"), QStringLiteral("5")),
            "&count=2" + kLedigmatriseHeader +
                "LEDIGMATRISE;8;5; ;2000.04.09;1;0;1;LEDIGMATRISE;8;5; ;2000.04.10;1;0;1");
  EXPECT_EQ(April(QStringLiteral("7"), QStringLiteral("3")),
            "&count=2" + kLedigmatriseHeader +
                "LEDIGMATRISE;7;3; ;2000.04.09;2;0;2;LEDIGMATRISE;7;3; ;2000.04.10;2;0;2");
  // A period that ends before it starts has no days: no rows, no error.
  EXPECT_EQ(Matrix(QStringLiteral("7"), QStringLiteral("*"), QStringLiteral("*"),
                   QStringLiteral("*"), QStringLiteral("2000.04.10"), QStringLiteral("2000.04.09")),
            "&count=0" + kLedigmatriseHeader);
}

TEST_P(LedigmatriseTest, LayoutWrittenByAnotherProgramCountsAtTheNextRequest) {
  // The matrix may keep the layout and the capacities between requests; another program's
  // plain SQL on its own connection must still count at once. (The same kept layout serves
  // LEDIG, whose test takes a facility's right away.)
  const auto type5 = [this](const char* facility) {
    return April(QString::fromLatin1(facility), QStringLiteral("5"));
  };
  EXPECT_EQ(type5("7"), "&count=2" + kLedigmatriseHeader + "LEDIGMATRISE;7;5; ;2000.04.09;2;0;2;"
                                                     "LEDIGMATRISE;7;5; ;2000.04.10;3;0;3");
  Run("INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE) VALUES ('A6', 5, 'A');\n");
  EXPECT_EQ(type5("7"), "&count=2" + kLedigmatriseHeader + "LEDIGMATRISE;7;5; ;2000.04.09;3;0;3;"
                                                     "LEDIGMATRISE;7;5; ;2000.04.10;4;0;4");
  Run("UPDATE UTLEIEOB SET FLOYKODE = 'B' WHERE OBJNR = 'A6';\n");
  EXPECT_EQ(type5("8"), "&count=2" + kLedigmatriseHeader + "LEDIGMATRISE;8;5; ;2000.04.09;2;0;2;"
                                                     "LEDIGMATRISE;8;5; ;2000.04.10;2;0;2");
  EXPECT_EQ(type5("-1"), "&count=2" + kLedigmatriseHeader + "LEDIGMATRISE;-1;5; ;2000.04.09;4;0;4;"
                                                     "LEDIGMATRISE;-1;5; ;2000.04.10;5;0;5");
}

TEST_P(LedigmatriseTest, AgentNumberReachesTheProcedure) {
  const QString held =
      "&count=1" + kLedigmatriseHeader + "LEDIGMATRISE;7;3; ;" + kAheadText + ";1;1;2";
  const QString none =
      "&count=1" + kLedigmatriseHeader + "LEDIGMATRISE;7;3; ;" + kAheadText + ";1;0;1";
  auto ahead = [&](const char* agent) {
    return Matrix(QStringLiteral("7"), QStringLiteral("3"), QStringLiteral("*"),
                  QString::fromUtf8(agent), kAheadText, kAheadText);
  };
  EXPECT_EQ(ahead("4"), held);
  EXPECT_EQ(ahead("*"), none);
  EXPECT_EQ(ahead("-1"), none);
  // Only exactly "*" means no agent; anything else that is no number fails the statement.
  for (const char* bad : {"", " ", "**", "x"}) EXPECT_EQ(ahead(bad), kMatrixFailed) << bad;
}

TEST_P(LedigmatriseTest, ValidationsInOrder) {
  const QString invalidFacility99 =
      Failure(QStringLiteral("-1002"), QStringLiteral("Ugyldig anlegg (99)."));
  EXPECT_EQ(April(QStringLiteral("99")), invalidFacility99);
  // The facility must read back as the very text asked for.
  EXPECT_EQ(April(QStringLiteral("07")),
            Failure(QStringLiteral("-1002"), QStringLiteral("Ugyldig anlegg (07).")));

  // An object is refused, but only after the facility check.
  const QString objectRefused = Failure(
      QStringLiteral("-2031"),
      QStringLiteral("Feil ved forespørsel på objekt (har ikke støtte for søk på objektnivå i "
                     "denne versjonen av Taurelin API)."));
  auto withObject = [&](const char* facility, const char* type) {
    return Matrix(QString::fromUtf8(facility), QString::fromUtf8(type), QStringLiteral("0"),
                  QStringLiteral("*"), QStringLiteral("2000.04.09"), QStringLiteral("2000.04.10"));
  };
  EXPECT_EQ(withObject("99", "*"), invalidFacility99);
  EXPECT_EQ(withObject("7", "*"), objectRefused);
  EXPECT_EQ(withObject("-1", "*"), objectRefused);
  EXPECT_EQ(withObject("7", "4"), objectRefused);

  EXPECT_EQ(April(QStringLiteral("7"), QStringLiteral("4")),
            Failure(QStringLiteral("-1003"), QStringLiteral("Ugyldig utleietype (4).")));
  EXPECT_EQ(April(QStringLiteral("7"), QStringLiteral("**")),
            Failure(QStringLiteral("-1003"), QStringLiteral("Ugyldig utleietype (**).")));

  // Dates that are not in protocol form fail the statement.
  EXPECT_EQ(Matrix(QStringLiteral("7"), QStringLiteral("*"), QStringLiteral("*"),
                   QStringLiteral("*"), QStringLiteral("2000.4.9"), QStringLiteral("2000.04.10")),
            kMatrixFailed);
}

TEST_P(LedigmatriseTest, FacilityThatIsNoIntegerEscapes) {
  for (const char* facility : {"VG", "", " 7", "7.0", "99999999999"}) {
    EXPECT_THROW(April(QString::fromUtf8(facility)), ConversionError) << facility;
  }
}

TEST_P(LedigmatriseTest, HostileValuesChangeNothingAndGetNoRows) {
  const QString before = Fingerprint();
  for (const QString& hostile : HostileValues()) {
    const std::string label = hostile.toStdString();
    EXPECT_THROW(April(hostile), ConversionError) << label;
    EXPECT_EQ(April(QStringLiteral("7"), hostile),
              Failure(QStringLiteral("-1003"), "Ugyldig utleietype (" + hostile + ")."))
        << label;
    EXPECT_TRUE(Matrix(QStringLiteral("7"), QStringLiteral("*"), hostile, QStringLiteral("*"),
                       QStringLiteral("2000.04.09"), QStringLiteral("2000.04.10"))
                    .endsWith(u"&errorcode='-2031'&errormessage=Feil ved forespørsel på objekt "
                              u"(har ikke støtte for søk på objektnivå i denne versjonen av "
                              u"Taurelin API)."))
        << label;
    EXPECT_EQ(April(QStringLiteral("7"), QStringLiteral("*"), hostile), kMatrixFailed) << label;
    EXPECT_EQ(Matrix(QStringLiteral("7"), QStringLiteral("*"), QStringLiteral("*"),
                     QStringLiteral("*"), hostile, QStringLiteral("2000.04.10")),
              kMatrixFailed)
        << label;
    EXPECT_EQ(Matrix(QStringLiteral("7"), QStringLiteral("*"), QStringLiteral("*"),
                     QStringLiteral("*"), QStringLiteral("2000.04.09"), hostile),
              kMatrixFailed)
        << label;
  }
  EXPECT_EQ(Fingerprint(), before);
}

TEST_P(LedigmatriseTest, DatabaseFailuresAnswerTheirOwnErrors) {
  const QString normal = April(QStringLiteral("7"), QStringLiteral("3"));
  ASSERT_TRUE(normal.startsWith(u"&count=2"));

  HideTable("ANLEGG");
  EXPECT_EQ(April(QStringLiteral("7"), QStringLiteral("3")),
            Failure(QStringLiteral("-2032b"),
                    QStringLiteral("Kan ikke åpne spørringen på anlegg ved database test")));
  RestoreTable("ANLEGG");

  HideTable("UTYPE");
  EXPECT_EQ(April(QStringLiteral("7"), QStringLiteral("3")),
            Failure(QStringLiteral("-2032"),
                    QStringLiteral("Kan ikke åpne spørringen på utleietype ved database test")));
  RestoreTable("UTYPE");

  // The procedure reads the booked lines.
  HideTable("LEIE");
  EXPECT_EQ(April(QStringLiteral("7"), QStringLiteral("3")), kMatrixFailed);
  RestoreTable("LEIE");

  EXPECT_EQ(April(QStringLiteral("7"), QStringLiteral("3")), normal);
}

INSTANTIATE_TEST_SUITE_P(Backends, LedigmatriseTest, BothBackends(), BackendName());

}  // namespace
}  // namespace taurelin
