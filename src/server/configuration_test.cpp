#include "server/configuration.h"

#include "server/scripted_face.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

namespace taurelin {
namespace {

class ConfigurationTest : public ::testing::Test {
 protected:
  QString path() const { return dir_.filePath(QStringLiteral("taurelin.conf")); }
  ServerConfiguration Read(const QString& instance = QString()) {
    QSettings settings(path(), QSettings::IniFormat);
    return ReadConfiguration(settings, instance, {"demo", "booking"}, face_);
  }
  QVariant Stored(const QString& key) {
    return QSettings(path(), QSettings::IniFormat).value(key);
  }

  QTemporaryDir dir_;
  ScriptedFace face_;
};

TEST_F(ConfigurationTest, FirstStartAsksForEverythingAndStoresTheAnswers) {
  face_.answers = {QStringLiteral("12001"), QStringLiteral("192.0.2.7")};
  face_.alias = QStringLiteral("booking");
  const ServerConfiguration configuration = Read();
  EXPECT_FALSE(configuration.logging);
  EXPECT_EQ(configuration.port, 12001);
  EXPECT_EQ(configuration.clientAddress, "192.0.2.7");
  EXPECT_EQ(configuration.databaseAlias, "booking");
  EXPECT_EQ(face_.shown, QStringList({"message: Port er ikke definert for applikasjonen",
                                      "ask: Definer IP-port | Port : | 12000",
                                      "ask: Definer IP-adresse for klient | IP-adresse : | "
                                      "10.0.0.1",
                                      "pick: demo,booking"}));
  const QString group = QStringLiteral("Software/Vindrelok/Taurelin/API/");
  EXPECT_EQ(Stored(group + "Logfile").toInt(), 0);
  EXPECT_EQ(Stored(group + "Port").toInt(), 12001);
  EXPECT_EQ(Stored(group + "IPAddress").toString(), "192.0.2.7");
  EXPECT_EQ(Stored(group + "DatabaseAlias").toString(), "booking");

  // The second start asks nothing.
  face_.shown.clear();
  EXPECT_EQ(Read().port, 12001);
  EXPECT_TRUE(face_.shown.isEmpty());
}

TEST_F(ConfigurationTest, InvalidPortIsRefusedAndAskedAgainUntilCancel) {
  face_.answers = {QStringLiteral("abc"), std::nullopt, QStringLiteral("x")};
  const ServerConfiguration configuration = Read();
  EXPECT_EQ(configuration.port, 0);
  EXPECT_EQ(face_.shown.mid(0, 4),
            QStringList({"message: Port er ikke definert for applikasjonen",
                         "ask: Definer IP-port | Port : | 12000",
                         "error: Ugyldig port (heltall)", "ask: Definer IP-port | Port : | 12000"}));
  EXPECT_FALSE(Stored(QStringLiteral("Software/Vindrelok/Taurelin/API/Port")).isValid());
  // A cancelled address box still takes the offered address.
  EXPECT_EQ(configuration.clientAddress, "x");
  // A cancelled alias dialog leaves the alias empty and writes nothing.
  EXPECT_TRUE(configuration.databaseAlias.isEmpty());
  EXPECT_FALSE(Stored(QStringLiteral("Software/Vindrelok/Taurelin/API/DatabaseAlias")).isValid());
}

TEST_F(ConfigurationTest, InstanceReadsItsOwnGroupAndValuesThatAreNoIntegersAreMissing) {
  {
    QSettings settings(path(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("Software/Vindrelok/Taurelin/API/Nord/Logfile"), 5);
    settings.setValue(QStringLiteral("Software/Vindrelok/Taurelin/API/Nord/Port"), 12500);
    settings.setValue(QStringLiteral("Software/Vindrelok/Taurelin/API/Nord/IPAddress"), "a");
    settings.setValue(QStringLiteral("Software/Vindrelok/Taurelin/API/Nord/DatabaseAlias"), "d");
    settings.setValue(QStringLiteral("Software/Vindrelok/Taurelin/API/Port"), "12x");
  }
  const ServerConfiguration nord = Read(QStringLiteral("Nord"));
  EXPECT_TRUE(nord.logging);
  EXPECT_EQ(nord.port, 12500);
  EXPECT_TRUE(face_.shown.isEmpty());

  face_.answers = {QStringLiteral("12002")};
  EXPECT_EQ(Read().port, 12002);
  EXPECT_EQ(face_.shown.first(), "message: Port er ikke definert for applikasjonen");
}

TEST_F(ConfigurationTest, UnwritableStoreFailsTheRead) {
  // A directory where the file should be: no write reaches it, whoever runs the test.
  ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("taurelin.conf")));
  EXPECT_THROW(Read(), ConfigurationError);
}

// A store that reads but takes no write, as /etc is to a service: the port, once given, is
// refused as unstorable, not asked for again (headless, that was a loop without end).
TEST_F(ConfigurationTest, AStoreThatTakesNoWriteEndsTheReadInsteadOfAskingAgain) {
  const QSettings::Format readOnly = QSettings::registerFormat(
      QStringLiteral("conf"),
      [](QIODevice&, QSettings::SettingsMap& map) {
        map.insert(QStringLiteral("Software/Vindrelok/Taurelin/API/Logfile"), 1);
        return true;
      },
      [](QIODevice&, const QSettings::SettingsMap&) { return false; });
  QFile file(path());
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("read by the format above");
  file.close();
  face_.answers = {QStringLiteral("12000"), QStringLiteral("12000")};
  QSettings settings(path(), readOnly);
  EXPECT_THROW(ReadConfiguration(settings, QString(), {"demo"}, face_), ConfigurationError);
  EXPECT_EQ(face_.shown, QStringList({"message: Port er ikke definert for applikasjonen",
                                      "ask: Definer IP-port | Port : | 12000"}));
}

TEST_F(ConfigurationTest, LogSwitchIsWrittenAsOneOrZero) {
  QSettings settings(path(), QSettings::IniFormat);
  EXPECT_TRUE(WriteLogSwitch(settings, QString(), true));
  EXPECT_EQ(ReadInteger(settings, QStringLiteral("Software/Vindrelok/Taurelin/API/Logfile")), 1);
  EXPECT_TRUE(WriteLogSwitch(settings, QString(), false));
  EXPECT_EQ(ReadInteger(settings, QStringLiteral("Software/Vindrelok/Taurelin/API/Logfile")), 0);
}

}  // namespace
}  // namespace taurelin
