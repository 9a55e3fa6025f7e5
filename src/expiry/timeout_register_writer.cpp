// Test helper: works the time-out register of DIRECTORY as a busy server does. For each i
// below COUNT it registers the new reservation PREFIX + i (four digits, zero-padded), and
// after every odd i it empties the entry of i - 1 again, as a booking does; so the free
// records that one process leaves are taken by new reservations of either process.
// Exit status 0 when every operation succeeded; failures are told on standard error.
// With --hold instead of PREFIX and COUNT it takes the register's lock, says "held" on
// standard output and keeps it until it is killed.

#include "expiry/timeout_register.h"

#include <QDir>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[2], "--hold") == 0) {
    taurelin::TimeOutRegisterLock lock(
        QDir(QString::fromLocal8Bit(argv[1])).filePath(QStringLiteral("TimeOut.API.lock")));
    lock.lock();
    std::printf("held\n");
    std::fflush(stdout);
    while (true) ::pause();
  }
  if (argc != 4) {
    std::fprintf(stderr, "usage: timeout_register_writer DIRECTORY PREFIX COUNT|--hold\n");
    return 2;
  }
  taurelin::TimeOutRegister timeOuts(QString::fromLocal8Bit(argv[1]));
  timeOuts.setLog([](const QString& line) {
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
  });
  const QString prefix = QString::fromLocal8Bit(argv[2]);
  const int count = std::atoi(argv[3]);
  const auto refnr = [&prefix](int i) {
    return prefix + QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0'));
  };
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    if (!timeOuts.SetTimeOut(QStringLiteral("*"), refnr(i), QStringLiteral("900"))) ++failures;
    if (i % 2 == 1 && !timeOuts.SetTimeOut(refnr(i - 1), refnr(i - 1), QStringLiteral("0"))) {
      ++failures;
    }
  }
  if (failures > 0) std::fprintf(stderr, "%d operations failed\n", failures);
  return failures == 0 ? 0 : 1;
}
