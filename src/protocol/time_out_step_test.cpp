// The register step after BOOKING, on replies as their handlers give them.

#include "protocol/time_out_step.h"

#include "protocol/reply_envelope.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <initializer_list>
#include <utility>

namespace taurelin {
namespace {

const QString kReserved = QStringLiteral(
    "&count=1&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;ANKOMST;AVREISE;PENSJONSTYPE;ANTALL;"
    "ANT_PERSONER;AGENT;REFNR;PRIS;TOTALPRIS;TIMEOUT&data=RESERVER;0;1; ;2024.07.01;2024.07.04;"
    " ;1;2;1;%1;3000;0;%2");
const QString kReservationRefused = QStringLiteral(
    "&count=0&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;ANKOMST;AVREISE;PENSJONSTYPE;ANTALL;"
    "ANT_PERSONER;AGENT;REFNR;PRIS;TOTALPRIS;TIMEOUT&data=&errorcode='-2065'&errormessage="
    "Overbooking. Utleieobjekt er ikke reservert.");
const QString kBooked =
    QStringLiteral("&count=1&header=INSTRUKSJON;REFNR;TOTALPRIS&data=BOOKING;%1;0");
const QString kBookingRefused = QStringLiteral(
    "&count=0&header=INSTRUKSJON;REFNR;TOTALPRIS&data=&errorcode='-2089'&errormessage=Kan ikke "
    "oppdatere informasjon for bestiller 7.");

InstructionValues Values(std::initializer_list<std::pair<const char*, const char*>> pairs) {
  InstructionValues values;
  for (const auto& [column, value] : pairs) values.set(QLatin1String(column), value);
  return values;
}

class TimeOutStepTest : public ::testing::Test {
 protected:
  QStringList Registered() {
    QStringList entries;
    for (const TimeOutRecord& record : timeOuts_.entries()) {
      entries << record.refnr + u'@' + record.timeOut;
    }
    return entries;
  }
  void Reserve(const char* requestRefnr, const char* timeOut, const QString& reply) {
    KeepTimeOutRegister(QStringLiteral("RESERVER"),
                        Values({{"REFNR", requestRefnr}, {"TIMEOUT", timeOut}}), reply,
                        &timeOuts_);
  }
  void Book(const char* requestRefnr, const QString& reply) {
    KeepTimeOutRegister(QStringLiteral("BOOKING"), Values({{"REFNR", requestRefnr}}), reply,
                        &timeOuts_);
  }

  QTemporaryDir dir_;
  TimeOutRegister timeOuts_{dir_.path()};
};

// The reservation has registered itself before its booking was committed: its reply,
// successful or not, changes nothing more.
TEST_F(TimeOutStepTest, ReservationRepliesLeaveTheRegisterAlone) {
  Reserve("*", "900", kReserved.arg(QStringLiteral("1001"), QStringLiteral("900")));
  Reserve("*", "900", kReservationRefused);
  EXPECT_FALSE(QFile::exists(timeOuts_.filePath()));
}

TEST_F(TimeOutStepTest, BookerDetailsEmptyTheEntryUnlessTheBookingFailed) {
  ASSERT_TRUE(timeOuts_.SetTimeOut(QStringLiteral("*"), QStringLiteral("1001"),
                                   QStringLiteral("900")));
  Book("1001", kBookingRefused);
  EXPECT_EQ(Registered(), QStringList{"1001@900"});
  Book("1001", kBooked.arg(QStringLiteral("1001")));
  EXPECT_EQ(Registered(), QStringList{"@"});
}

TEST_F(TimeOutStepTest, OtherInstructionsAndNoRegisterTouchNothing) {
  KeepTimeOutRegister(QStringLiteral("AVBESTILL"), Values({{"REFNR", "1001"}}),
                      QStringLiteral("&count=1&header=INSTRUKSJON;REFNR&data=AVBESTILL;1001"),
                      &timeOuts_);
  EXPECT_FALSE(QFile::exists(timeOuts_.filePath()));
  // Without a register the reply is still read: one that cannot be read ends the request.
  EXPECT_THROW(KeepTimeOutRegister(QStringLiteral("BOOKING"), Values({}),
                                   QStringLiteral("&header=INSTRUKSJON;REFNR&data="), nullptr),
               ReplyFormatError);
}

}  // namespace
}  // namespace taurelin
