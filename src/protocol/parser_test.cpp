#include "protocol/parser.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QStringList>

#include <stdexcept>

namespace taurelin {
namespace {

const QString kTestApiReply = QStringLiteral(
    "&count=10&header=INSTRUKSJON;SYSTEM;PRODUSENT;VERSJON;API-INSTRUKSJON&data="
    "TEST-API;Taurelin 5.2.x API;Vindrelok AS;1.8.0.0;PRIS;"
    "TEST-API;Taurelin 5.2.x API;Vindrelok AS;1.8.0.0;KORT;"
    "TEST-API;Taurelin 5.2.x API;Vindrelok AS;1.8.0.0;UTYPE;"
    "TEST-API;Taurelin 5.2.x API;Vindrelok AS;1.8.0.0;LEDIG;"
    "TEST-API;Taurelin 5.2.x API;Vindrelok AS;1.8.0.0;LEDIGMATRISE;"
    "TEST-API;Taurelin 5.2.x API;Vindrelok AS;1.8.0.0;RESERVER;"
    "TEST-API;Taurelin 5.2.x API;Vindrelok AS;1.8.0.0;BOOKING;"
    "TEST-API;Taurelin 5.2.x API;Vindrelok AS;1.8.0.0;HENTBOOK;"
    "TEST-API;Taurelin 5.2.x API;Vindrelok AS;1.8.0.0;AVBESTILL;"
    "TEST-API;Taurelin 5.2.x API;Vindrelok AS;1.8.0.0;TEST-API");

class ProcessRequestTest : public ::testing::Test {
 protected:
  ProcessRequestTest() {
    context_.writeLog = [this](const QString& line) { log_ << line; };
  }

  QString Answer(const QString& request) { return ProcessRequest(request, context_); }

  // Checks the two lines that every failure leaves in the log.
  void ExpectFailureLogged(const QString& request, const QString& answer) {
    ASSERT_EQ(log_.size(), 2) << log_.join(u'|').toStdString();
    EXPECT_EQ(log_[0], "Instruksjonen feiler : " + request.chopped(1));
    EXPECT_EQ(log_[1], "U1 : " + answer);
  }

  RequestContext context_;
  QStringList log_;
};

TEST_F(ProcessRequestTest, AnswersTestApiAndLogsTheTimeTaken) {
  const QString answer =
      Answer(QStringLiteral("messageID=x&count=1&header=INSTRUKSJON&data=TEST-API\n"));
  EXPECT_EQ(answer, "messageID=x" + kTestApiReply + "\n");
  ASSERT_EQ(log_.size(), 1);
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^Instruksjonen tok  [0-9]+ s [0-9]+ ms$"))
                  .match(log_[0])
                  .hasMatch())
      << log_[0].toStdString();
}

TEST_F(ProcessRequestTest, FailureTableAnswersAndLogsEachRow) {
  struct Case {
    const char* request;
    const char* answer;
  };
  const Case cases[] = {
      // No messageID anywhere.
      {"count=1&header=INSTRUKSJON&data=TEST-API\n", "&count=0&header=&data=\n"},
      // No count after the messageID section.
      {"messageID=7&header=INSTRUKSJON&data=TEST-API\n",
       "messageID=7&count=0&header=&data=&errorcode=-9999&errormessage='count'-seksjonen "
       "mangler\n"},
      // No header after the count section.
      {"messageID=7&count=1&data=TEST-API\n",
       "messageID=7&count=1&header=&data=&errorcode=-9999&errormessage='header'-seksjonen "
       "mangler\n"},
      // Sections are found by position: data=x is cut as the header, no data remains.
      {"messageID=1&count=1&data=x&header=y\n",
       "messageID=1&count=1&data=x&data=&errorcode=-9999&errormessage='data'-seksjonen "
       "mangler\n"},
      // An empty piece in the header's place makes the header run to the end of the line.
      {"messageID=1&count=1&&header=A;B&data=X;Y\n",
       "messageID=1&count=1&header=A;B&data=X;Y&data=&errorcode=-9999&errormessage='data'-"
       "seksjonen mangler\n"},
      // A count that is no integer: the untrimmed text after its "=".
      {"messageID=7&count= 1x &header=INSTRUKSJON&data=TEST-API\n",
       "messageID=7& 1x &header=INSTRUKSJON&data=TEST-API\n"},
      {"messageID=7&count=99999999999&header=INSTRUKSJON&data=TEST-API\n",
       "messageID=7&99999999999&header=INSTRUKSJON&data=TEST-API\n"},
  };
  for (const Case& c : cases) {
    log_.clear();
    const QString request = QString::fromUtf8(c.request);
    const QString answer = Answer(request);
    EXPECT_EQ(answer, QString::fromUtf8(c.answer)) << c.request;
    ExpectFailureLogged(request, answer);
  }
}

TEST_F(ProcessRequestTest, LaterFailureShowsTheUnusedDataAndTheRequestsOwnErrorFields) {
  // A failure after the rows were built (here: the timing line cannot be logged) answers
  // with the count value and what no row used of the data section.
  context_.writeLog = [this](const QString& line) {
    if (line.startsWith(u"Instruksjonen tok")) throw std::runtime_error("disk full");
    log_ << line;
  };
  const QString request =
      QStringLiteral("messageID=7&count=1&header=INSTRUKSJON&data=TEST-API;spare;more\n");
  const QString answer = Answer(request);
  EXPECT_EQ(answer, "messageID=7&1&header=INSTRUKSJON&spare;more\n");
  ExpectFailureLogged(request, answer);

  // Error fields that the request carries are shown only in a failure answer.
  log_.clear();
  const QString withFields = QStringLiteral(
      "messageID=7&count=x&header=INSTRUKSJON&errorcode=E1&data=TEST-API\n");
  EXPECT_EQ(Answer(withFields),
            "messageID=7&x&header=INSTRUKSJON&data=TEST-API&errorcode=E1&data=TEST-API&\n");
}

// A client reads one line per request: an answer with a line feed inside would hand the
// rest of it to the client as the answer to its next request.
TEST_F(ProcessRequestTest, EveryAnswerIsOneLine) {
  const struct {
    const char* request;
    const char* answer;
  } cases[] = {
      {"messageID=1\n",
       "messageID=1&count=0&header=&data=&errorcode=-9999&errormessage='count'-seksjonen "
       "mangler\n"},
      {"messageID=1&count=1\n",
       "messageID=1&count=1&header=&data=&errorcode=-9999&errormessage='header'-seksjonen "
       "mangler\n"},
      {"messageID=1&count=1&header=INSTRUKSJON\n",
       "messageID=1&count=1&header=INSTRUKSJON&data=&errorcode=-9999&errormessage='data'-"
       "seksjonen mangler\n"},
      // A section between the header and the data: the data still ends at the line's end.
      {"messageID=1&count=x&header=INSTRUKSJON&y&data=TEST-API\n",
       "messageID=1&x&header=INSTRUKSJON&data=TEST-API\n"},
      {"messageID=1&count=1&header=I&errormessage=E&data=x\n\nmore\n",
       "messageID=1\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Answer(QString::fromUtf8(c.request)), QString::fromUtf8(c.answer)) << c.request;
  }
}

// Rows run one after the other while every other client waits: a request of more rows than
// allowed is refused before any of them runs.
TEST_F(ProcessRequestTest, RequestsOfTooManyRowsAreRefusedBeforeAnyRuns) {
  int runs = 0;
  context_.writeLog = [this, &runs](const QString& line) {
    if (line.startsWith(u"Instruksjonen tok")) ++runs;
    log_ << line;
  };
  context_.maxRows = 3;
  const QString three = QStringLiteral(
      "messageID=7&count=3&header=INSTRUKSJON&data=TEST-API;TEST-API;TEST-API\n");
  EXPECT_EQ(Answer(three), "messageID=7" + kTestApiReply + "\n");
  EXPECT_EQ(runs, 1);
  const QString four = QStringLiteral(
      "messageID=7&count=4&header=INSTRUKSJON&data=TEST-API;TEST-API;TEST-API;TEST-API\n");
  log_.clear();
  EXPECT_EQ(Answer(four), "messageID=7&4&header=INSTRUKSJON&data=TEST-API;TEST-API;TEST-API;"
                          "TEST-API\n");
  EXPECT_EQ(runs, 1);
  ASSERT_EQ(log_.size(), 3);
  EXPECT_EQ(log_[0], "Request refused : 4 rows, at most 3 allowed");
  // The default lets any web shop's request through and stops a flood.
  context_.maxRows = RequestContext::kDefaultMaxRows;
  EXPECT_TRUE(Answer(QStringLiteral("messageID=7&count=2147483647&header=INSTRUKSJON;A;B"
                                    "&data=TEST-API;1;2\n"))
                  .startsWith(u"messageID=7&2147483647&"));
}

TEST_F(ProcessRequestTest, FailingFailureLogLeavesProcessRequest) {
  context_.writeLog = [](const QString&) { throw std::runtime_error("disk gone"); };
  EXPECT_THROW(Answer(QStringLiteral("no id here\n")), std::runtime_error);
}

TEST_F(ProcessRequestTest, RowsThatClearTheReplyAnswerTheIdAlone) {
  const char* const requests[] = {
      // No final LF: the data section is empty.
      "messageID=7&count=1&header=INSTRUKSJON&data=TEST-API",
      // Count 0 and negative counts run one empty row.
      "messageID=7&count=0&header=INSTRUKSJON&data=TEST-API\n",
      "messageID=7&count=-3&header=INSTRUKSJON&data=TEST-API\n",
      // More rows than present: the last of them has an empty keyword.
      "messageID=7&count=3&header=INSTRUKSJON&data=TEST-API\n",
      // Keywords are case-sensitive, and the last row decides.
      "messageID=7&count=2&header=INSTRUKSJON&data=TEST-API;test-api\n",
      // Also the keywords that reach the booking database.
      "messageID=7&count=1&header=INSTRUKSJON;ANLEGGSNR&data=kort;1\n",
  };
  for (const char* request : requests) {
    EXPECT_EQ(Answer(QString::fromUtf8(request)), "messageID=7\n") << request;
  }
  EXPECT_EQ(Answer(QStringLiteral("messageID&count=1&header=I&data=nothing\n")), "messageID\n");
}

TEST_F(ProcessRequestTest, EmptyIdAndEmptyReplyGiveTheEmptyAnswer) {
  EXPECT_EQ(Answer(QStringLiteral("&count=1&header=I&data=x\nmessageID")), QString());
}

TEST_F(ProcessRequestTest, ReadsTheCountThroughBlanksAndControlCharacters) {
  EXPECT_EQ(Answer(QStringLiteral("messageID=x&count= \t1\r &header=INSTRUKSJON&data=TEST-API\n")),
            "messageID=x" + kTestApiReply + "\n");
}

TEST_F(ProcessRequestTest, LastRowWinsAndTextAfterTheLineFeedIsIgnored) {
  const QString answer = Answer(QStringLiteral(
      "messageID=x&count=2&header=INSTRUKSJON&data=OM_TN_API;TEST-API\n"
      "messageID=y&count=1&header=INSTRUKSJON&data=OM_TN_API\n"));
  EXPECT_EQ(answer, "messageID=x" + kTestApiReply + "\n");
}

TEST_F(ProcessRequestTest, BuiltInTestRequestFailsOnItsFacility) {
  // VG is no facility number: the availability handler's conversion fails the request.
  const QString request = QStringLiteral(
      "messageID=asdf12345667890&count=1&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;ANKOMST;"
      "AVREISE;PENSJONSTYPE&data=LEDIG;VG;*;*;2000.04.08;2000.04.14; \n");
  const QString answer = Answer(request);
  EXPECT_EQ(answer, "messageID=asdf12345667890&1&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;ANKOMST;AVREISE;PENSJONSTYPE&\n");
  ExpectFailureLogged(request, answer);
}

TEST_F(ProcessRequestTest, SurvivesAHugeHeader) {
  // Lists this long would overflow the stack if freed recursively.
  const QString columns = QStringLiteral("A;").repeated(400000);
  const QString answer =
      Answer("messageID=x&count=1&header=INSTRUKSJON;" + columns + "&data=TEST-API\n");
  EXPECT_EQ(answer, "messageID=x" + kTestApiReply + "\n");
}

}  // namespace
}  // namespace taurelin
