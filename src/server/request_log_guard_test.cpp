#include "server/request_log_guard.h"

#include "server/operation_log.h"
#include "server/scripted_face.h"
#include "server/server_log.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <chrono>
#include <thread>

namespace taurelin {
namespace {

const QString kHttp = QStringLiteral("HTTP requests");
const QString kLine = QStringLiteral("Line protocol requests");
constexpr qint64 kSecond = 1'800'000'000'000;  // a whole second, in milliseconds since 1970

TEST(RequestLogGuardTest, PastTheRateEachKindIsSummedUpOnceForItsSecond) {
  RequestLogGuard guard(50);
  // Sixteen requests of three lines fit, the seventeenth does not though two lines are left:
  // a request's lines go together.
  for (int i = 0; i < 16; ++i) EXPECT_TRUE(guard.admit(kLine, 3, kSecond + i));
  EXPECT_FALSE(guard.admit(kLine, 3, kSecond + 100));
  EXPECT_TRUE(guard.admit(kHttp, 1, kSecond + 200));
  EXPECT_TRUE(guard.admit(kHttp, 1, kSecond + 300));
  for (int i = 0; i < 40; ++i) EXPECT_FALSE(guard.admit(kHttp, 1, kSecond + 400 + i));
  EXPECT_TRUE(guard.pending());
  EXPECT_TRUE(guard.takeSummaries(kSecond + 999).isEmpty());  // the second is not over

  // The next second starts with a fresh budget and ends the one before.
  EXPECT_TRUE(guard.admit(kHttp, 1, kSecond + 1000));
  const QStringList summaries = guard.takeSummaries(kSecond + 1001);
  ASSERT_EQ(summaries.size(), 2);
  EXPECT_TRUE(summaries[0].startsWith(u"HTTP requests: 40 more in the second from "));
  EXPECT_TRUE(summaries[0].endsWith(u"not logged one by one (more than 50 log lines a second)"));
  EXPECT_TRUE(summaries[1].startsWith(u"Line protocol requests: 1 more in the second from "));
  EXPECT_FALSE(guard.pending());
  EXPECT_TRUE(guard.takeSummaries(kSecond + 5000).isEmpty());  // given once; quiet: none

  EXPECT_EQ(guard.unlogged(RequestLogGuard::Why::kFlood).value(kHttp), 40);
  EXPECT_EQ(guard.unlogged(RequestLogGuard::Why::kFlood).value(kLine), 1);
  EXPECT_TRUE(guard.unlogged(RequestLogGuard::Why::kLowDisk).isEmpty());
}

TEST(RequestLogGuardTest, ALowDiskTakesEveryRequestAndTheFloodsSummaries) {
  RequestLogGuard guard(2);
  EXPECT_TRUE(guard.admit(kHttp, 2, kSecond));
  EXPECT_FALSE(guard.admit(kHttp, 1, kSecond + 1));  // a flood second, to be summed up...
  guard.setDiskLow(true);
  EXPECT_FALSE(guard.admit(kHttp, 1, kSecond + 2000));
  EXPECT_FALSE(guard.admit(kLine, 3, kSecond + 2001));
  EXPECT_TRUE(guard.takeSummaries(kSecond + 3000).isEmpty());  // ...but not onto a full disk
  guard.setDiskLow(false);
  EXPECT_TRUE(guard.admit(kHttp, 1, kSecond + 4000));
  EXPECT_EQ(guard.unlogged(RequestLogGuard::Why::kLowDisk).value(kHttp), 1);
  EXPECT_EQ(guard.unlogged(RequestLogGuard::Why::kLowDisk).value(kLine), 1);
  EXPECT_EQ(guard.unlogged(RequestLogGuard::Why::kFlood).value(kHttp), 1);
}

TEST(ServerLogTest, ALowDiskIsToldOnceAndRequestsGoUnloggedUntilItRecovers) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  OperationLog& log = ProcessLog();
  log.setDirectory(dir.path());
  QSettings settings(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
  ScriptedFace face;
  ServerLog serverLog(face, settings, QString());
  ServerConfiguration configuration;
  configuration.logging = true;
  configuration.logMinFreeMB = 512;
  qint64 free = 100 * 1024 * 1024;
  serverLog.setFreeSpace([&free](const QString&) { return std::optional<qint64>(free); });
  serverLog.start(configuration);

  serverLog.logRequest(kHttp, QStringLiteral("request while low"));
  serverLog.logRequest(kHttp, QStringLiteral("another while low"));  // looked at once a second
  serverLog.log(QStringLiteral("a line of the server's own"));
  ASSERT_EQ(face.shown.size(), 1);
  EXPECT_TRUE(face.shown[0].contains(u"has 100 MB free, less than LogMinFreeMB (512)"));
  EXPECT_NE(serverLog.metrics().indexOf("taurelin_log_disk_low 1"), -1);
  EXPECT_NE(serverLog.metrics().indexOf(
                "taurelin_log_unlogged_total{kind=\"http_requests\",why=\"disk\"} 2"),
            -1);

  free = 2000LL * 1024 * 1024;
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // the next look
  serverLog.logRequest(kHttp, QStringLiteral("request after"));
  ASSERT_EQ(face.shown.size(), 2);
  EXPECT_TRUE(face.shown[1].contains(u"has 2000 MB free again"));
  EXPECT_TRUE(face.shown[1].contains(u"(2 were not, since start)"));

  QFile file(log.currentFilePath());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray written = file.readAll();
  EXPECT_EQ(written.indexOf("while low"), -1);
  EXPECT_NE(written.indexOf("a line of the server's own"), -1);
  EXPECT_NE(written.indexOf("request after"), -1);
  log.setEnabled(false);
}

}  // namespace
}  // namespace taurelin
