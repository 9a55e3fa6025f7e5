// A backup taken by taurelin-db in the middle of a stream of reservations holds every
// reservation answered before it began, each whole. Restoring it is refused while the server
// runs, and once the server is stopped it brings back a database on which the server
// answers as it did when the backup was taken.

#include "demo_requests.h"
#include "server_process.h"

#include "protocol/reply_envelope.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QMap>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

namespace taurelin {
namespace {

constexpr int kLastDemoRefnr = 1004;

// Answers of one connection, read as they come in; a line cut between reads is kept.
class AnswerStream {
 public:
  explicit AnswerStream(QTcpSocket& socket) : socket_(socket) {}
  // Waits up to `ms` for more; the answers so far.
  const QList<QByteArray>& read(int ms) {
    if (socket_.bytesAvailable() == 0) socket_.waitForReadyRead(ms);
    buffer_ += socket_.readAll();
    for (qsizetype lineFeed; (lineFeed = buffer_.indexOf('\n')) >= 0;) {
      answers_ << buffer_.left(lineFeed + 1);
      buffer_.remove(0, lineFeed + 1);
    }
    return answers_;
  }

 private:
  QTcpSocket& socket_;
  QByteArray buffer_;
  QList<QByteArray> answers_;
};

QString Refnr(const QByteArray& answer) {
  return ReplyEnvelope::GetReplyValue(Reply(answer), QStringLiteral("REFNR"));
}

// The reservations of a database file, each with its number of rental lines.
QMap<QString, int> Reservations(const QString& file) {
  QMap<QString, int> lines;
  {
    QSqlDatabase database =
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("inspect"));
    database.setDatabaseName(file);
    database.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    EXPECT_TRUE(database.open());
    QSqlQuery query(database);
    EXPECT_TRUE(query.exec(QStringLiteral("SELECT b.REFNR, (SELECT count(*) FROM LEIE l WHERE "
                                          "l.REFNR = b.REFNR) FROM BOOKING b WHERE b.REFNR > ") +
                           QString::number(kLastDemoRefnr)));
    while (query.next()) lines[query.value(0).toString()] = query.value(1).toInt();
    database.close();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("inspect"));
  return lines;
}

class BackupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    aliases_ = dir_.filePath(QStringLiteral("aliases.ini"));
    QFile file(aliases_);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("[shop]\ndriver=QSQLITE\ndatabase=%1\n")
                   .arg(database_.file())
                   .toUtf8());
  }

  void startDb(QProcess& process, const QStringList& arguments) {
    process.start(QStringLiteral(TAURELIN_DB_PROGRAM),
                  QStringList{QStringLiteral("--aliases"), aliases_} + arguments);
  }

  // Runs taurelin-db to its end; its exit status, -1 when it did not end normally.
  int runDb(const QStringList& arguments, QString* errors = nullptr) {
    QProcess process;
    startDb(process, arguments);
    const bool ended = process.waitForFinished(60000) &&
                       process.exitStatus() == QProcess::NormalExit;
    if (errors != nullptr) *errors = QString::fromUtf8(process.readAllStandardError());
    return ended ? process.exitCode() : -1;
  }

  QString fetch(const QString& refnr) {
    auto client = server_.connect();
    client->write(Request("h", "REFNR", "HENTBOOK;" + refnr));
    const QList<QByteArray> answers = ReadAnswers(*client, 1, 10000);
    return answers.isEmpty() ? QString() : Reply(answers.first());
  }

  TestDatabase database_{true};
  ServerProcess server_{database_};
  QTemporaryDir dir_;
  QString aliases_;
};

TEST_F(BackupTest, ABackupMidStreamHoldsWhatWasAnsweredAndRestoresOnlyOnceTheServerStops) {
  constexpr int kRequests = 300;
  constexpr int kAnsweredFirst = 20;
  ASSERT_TRUE(server_.start()) << server_.standardError().toStdString();
  auto client = server_.connect();
  for (int i = 0; i < kRequests; ++i) {
    client->write(Reservation(QString::number(i), 1, 30 + i));  // never sold out
  }
  client->flush();
  AnswerStream stream(*client);
  for (int i = 0; i < 300 && stream.read(100).size() < kAnsweredFirst; ++i) {
  }
  const QList<QByteArray> before = stream.read(0);
  ASSERT_GE(before.size(), kAnsweredFirst);

  const QString backup = dir_.filePath(QStringLiteral("nightly.db"));
  QProcess backing;
  startDb(backing, {QStringLiteral("backup"), QStringLiteral("shop"), backup});
  while (!backing.waitForFinished(5)) stream.read(5);
  ASSERT_EQ(backing.exitStatus(), QProcess::NormalExit);
  ASSERT_EQ(backing.exitCode(), 0) << backing.readAllStandardError().toStdString();
  const qsizetype answeredWhenDone = stream.read(0).size();
  for (int i = 0; i < 600 && stream.read(100).size() < kRequests; ++i) {
  }
  const QList<QByteArray> all = stream.read(0);
  ASSERT_EQ(all.size(), kRequests);
  EXPECT_LT(answeredWhenDone, kRequests) << "the stream ended before the backup did";

  for (const QByteArray& answer : all) {
    ASSERT_TRUE(Reply(answer).startsWith(u"&count=1&")) << answer.toStdString();
  }
  const QMap<QString, int> backedUp = Reservations(backup);
  for (const QByteArray& answer : before) {
    EXPECT_EQ(backedUp.value(Refnr(answer)), 2) << "reservation " << Refnr(answer).toStdString();
  }
  QMap<QString, QString> answers;  // each backed-up reservation as the server shows it
  for (const QByteArray& answer : all) {
    if (backedUp.contains(Refnr(answer))) answers[Refnr(answer)] = fetch(Refnr(answer));
  }
  EXPECT_EQ(answers.size(), backedUp.size()) << "the backup holds what was never answered";
  const QString later = Refnr(all.last());

  QString errors;
  EXPECT_EQ(runDb({QStringLiteral("restore"), backup, QStringLiteral("shop")}, &errors), 1);
  EXPECT_TRUE(errors.contains(u"open in another program")) << errors.toStdString();
  EXPECT_EQ(Reservations(database_.file()).size(), kRequests) << "the refused restore wrote";

  EXPECT_EQ(server_.stop(), 0);
  ASSERT_EQ(runDb({QStringLiteral("restore"), backup, QStringLiteral("shop")}, &errors), 0)
      << errors.toStdString();
  ASSERT_TRUE(server_.start()) << server_.standardError().toStdString();
  for (auto entry = answers.cbegin(); entry != answers.cend(); ++entry) {
    EXPECT_EQ(fetch(entry.key()), entry.value()) << "reservation " << entry.key().toStdString();
  }
  if (!backedUp.contains(later)) EXPECT_TRUE(fetch(later).contains(u"'-1001'"));
}

}  // namespace
}  // namespace taurelin
