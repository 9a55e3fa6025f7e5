// The register step after an instruction that ends a hold, on the effects replies carry.

#include "protocol/time_out_step.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>


namespace taurelin {
namespace {

class TimeOutStepTest : public ::testing::Test {
 protected:
  QStringList Registered() {
    QStringList entries;
    for (const TimeOutRecord& record : timeOuts_.entries()) {
      entries << record.refnr + u'@' + record.timeOut;
    }
    return entries;
  }
  void Follow(const char* requestRefnr, ReplyEffect::Kind kind, const char* refnr) {
    KeepTimeOutRegister(QString::fromLatin1(requestRefnr),
                        {kind, QString::fromLatin1(refnr), QStringLiteral("900")}, &timeOuts_);
  }

  QTemporaryDir dir_;
  TimeOutRegister timeOuts_{dir_.path()};
};

// The reservation has registered itself before its booking was committed; only booker
// details change the register, and only the entry of their own reservation.
TEST_F(TimeOutStepTest, OnlyBookerDetailsEmptyTheirEntry) {
  Follow("*", ReplyEffect::Kind::kReserved, "1001");
  Follow("1001", ReplyEffect::Kind::kNone, "");  // an error reply has no effect
  EXPECT_FALSE(QFile::exists(timeOuts_.filePath()));

  for (const char* refnr : {"1001", "1002"}) {
    ASSERT_TRUE(timeOuts_.SetTimeOut(QStringLiteral("*"), QString::fromLatin1(refnr),
                                     QStringLiteral("900")));
  }
  Follow("1001", ReplyEffect::Kind::kNone, "");
  Follow("1001", ReplyEffect::Kind::kReserved, "1001");
  EXPECT_EQ(Registered(), QStringList({"1001@900", "1002@900"}));
  Follow("1001", ReplyEffect::Kind::kBookerAttached, "1001");
  EXPECT_EQ(Registered(), QStringList({"@", "1002@900"}));
  KeepTimeOutRegister(QStringLiteral("1002"), {ReplyEffect::Kind::kBookerAttached, "1002", ""},
                      nullptr);
  EXPECT_EQ(Registered(), QStringList({"@", "1002@900"}));
}

}  // namespace
}  // namespace taurelin
