#include "mail/mail_delivery.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace taurelin {
namespace {

using Kind = DeliveryOutcome::Kind;

QStringList Everything(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

TEST(PickupFolder, WritesOnceAndKeepsTheFirst) {
  QTemporaryDir root;
  const QString folder = root.filePath("spool/pickup");  // made on demand
  const DeliveryOutcome first = DropInFolder(folder, "42-1", "Subject: first\r\n\r\nA\r\n");
  EXPECT_EQ(first.kind, Kind::kDelivered) << first.answer.toStdString();
  const QString path = folder + "/42-1.eml";

  const DeliveryOutcome again = DropInFolder(folder, "42-1", "Subject: second\r\n\r\nB\r\n");
  EXPECT_EQ(again.kind, Kind::kDelivered);
  EXPECT_TRUE(again.answer.contains("kept")) << again.answer.toStdString();

  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), "Subject: first\r\n\r\nA\r\n");
  struct stat info {};
  ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(Everything(folder), QStringList{"42-1.eml"});  // no temporary file left behind
}

TEST(PickupFolder, RefusesWhatWouldNotLandInTheFolder) {
  QTemporaryDir root;
  const QString folder = root.filePath("pickup");
  for (const QString name : {"", "../escape", "a/b", ".hidden", "line\nbreak"}) {
    EXPECT_EQ(DropInFolder(folder, name, "x\r\n").kind, Kind::kPermanent) << name.toStdString();
  }
  EXPECT_TRUE(Everything(root.path()).isEmpty());

  QFile notAFolder(root.filePath("file"));
  ASSERT_TRUE(notAFolder.open(QIODevice::WriteOnly));
  EXPECT_EQ(DropInFolder(notAFolder.fileName(), "m", "x\r\n").kind, Kind::kPermanent);
}

}  // namespace
}  // namespace taurelin
