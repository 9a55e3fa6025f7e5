// The operator window and the server core, in one process on the offscreen platform.

#include "server/alias_dialog.h"
#include "server/configuration.h"
#include "server/main_window.h"
#include "server/operation_log.h"
#include "server/scripted_face.h"
#include "store/test_database.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace taurelin {
namespace {

void SaveScreenshot(QWidget& widget, const char* name) {
  QDir().mkpath(QStringLiteral(TAURELIN_SCREENSHOTS));
  widget.grab().save(QStringLiteral(TAURELIN_SCREENSHOTS "/") + QLatin1String(name));
}

// A configuration that needs no answers: the system picks the port, the test database.
class ConfiguredServer : public ::testing::Test {
 protected:
  ConfiguredServer() {
    QSettings settings(configFile(), QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Software/Vindrelok/Taurelin/API"));
    settings.setValue(QStringLiteral("Port"), 0);
    settings.setValue(QStringLiteral("Logfile"), 0);
    settings.setValue(QStringLiteral("IPAddress"), QStringLiteral("127.0.0.1"));
    settings.setValue(QStringLiteral("DatabaseAlias"), QStringLiteral("test"));
    ProcessLog().setDirectory(dir_.path());
    ProcessLog().setEnabled(false);
  }
  ~ConfiguredServer() override {
    ProcessLog().setDirectory(QString());
    ProcessLog().setClock([] { return QDateTime::currentDateTime(); });
  }

  QString configFile() const { return dir_.filePath(QStringLiteral("taurelin.conf")); }
  ServerOptions options() const {
    ServerOptions options;
    options.configFile = configFile();
    options.aliasFile = database_.aliases().file();
    options.timeOutDirectory = dir_.path();
    return options;
  }

  QTemporaryDir dir_;
  TestDatabase database_;
};

using WindowTest = ConfiguredServer;

TEST_F(WindowTest, LaysOutTheWindowAndTogglesTheListener) {
  TfrmAPIMain window(options());
  window.show();
  window.FormCreate();
  EXPECT_EQ(window.windowTitle(), "Taurelin 5.2.x Internett API");
  EXPECT_EQ(window.width(), 600);
  EXPECT_EQ(window.panel(0)->width(), 186);
  for (int i = 1; i < 4; ++i) EXPECT_EQ(window.panel(i)->width(), 138);
  EXPECT_EQ(window.panel(1)->text(), "Listener active");
  EXPECT_EQ(window.panel(2)->text(), "IP Port : 0");
  EXPECT_EQ(window.panel(3)->text(), "Version : " + ServerCore::GetVersionText());
  EXPECT_FALSE(window.memLogFile()->isVisible());
  EXPECT_TRUE(window.mniListen()->isChecked());
  SaveScreenshot(window, "main_window.png");

  window.mniListen()->trigger();
  EXPECT_FALSE(window.core().listening());
  EXPECT_FALSE(window.mniListen()->isChecked());
  EXPECT_EQ(window.panel(1)->text(), "Listener inactive");
  window.mniListen()->trigger();
  EXPECT_TRUE(window.core().listening());
  EXPECT_TRUE(window.mniListen()->isChecked());

  window.resize(1000, 442);
  EXPECT_EQ(window.panel(0)->width(), 310);
  EXPECT_EQ(window.panel(1)->width(), 230);

  // The channels' panel shows up beside the others, which give it a fifth of the bar.
  EXPECT_FALSE(window.channelPanel()->isVisible());
  window.setChannelStatus(QStringLiteral("Channels: 1 stale"));
  EXPECT_TRUE(window.channelPanel()->isVisible());
  EXPECT_EQ(window.channelPanel()->text(), "Channels: 1 stale");
  EXPECT_EQ(window.channelPanel()->width(), 200);
  EXPECT_EQ(window.panel(0)->width(), 248);
  EXPECT_EQ(window.panel(1)->width(), 184);
}

// The shown log view takes in only what each request logs, and reads as a fresh load of the
// file would; the next day's file replaces it.
TEST_F(WindowTest, LogViewAppendsWhatIsLoggedAndStartsAgainOnANewDay) {
  class CountingWindow : public TfrmAPIMain {
   public:
    using TfrmAPIMain::TfrmAPIMain;
    void showLogView(const QString& content) override {
      ++loads;
      TfrmAPIMain::showLogView(content);
    }
    int loads = 0;
  };
  QDateTime now(QDate(2026, 12, 8), QTime(23, 0));
  ProcessLog().setClock([&now] { return now; });
  CountingWindow window(options());
  window.FormCreate();
  window.mniLogfile()->trigger();
  window.mniTest()->trigger();
  window.mniViewLogfile()->trigger();
  for (int i = 0; i < 3; ++i) window.mniTest()->trigger();
  EXPECT_EQ(window.loads, 1);
  const QString appended = window.memLogFile()->toPlainText();
  EXPECT_EQ(appended.count(u" - Respons : "), 4);
  window.mniViewLogfile()->trigger();
  window.mniViewLogfile()->trigger();
  EXPECT_EQ(window.loads, 2);
  EXPECT_EQ(window.memLogFile()->toPlainText().toStdString(), appended.toStdString());

  now = QDateTime(QDate(2026, 12, 9), QTime(0, 0, 1));
  window.mniTest()->trigger();
  EXPECT_EQ(window.loads, 3);
  EXPECT_TRUE(window.memLogFile()->toPlainText().startsWith(u"09.12.2026 00:00:01 - "));
  EXPECT_EQ(window.memLogFile()->toPlainText().count(u" - Respons : "), 1);
}

TEST(AliasDialogTest, DoubleClickIsOk) {
  TfrmVelgAlias dialog({"demo", "booking", "Nord"});
  EXPECT_EQ(dialog.windowTitle(), "Velg databasetilkopling");
  EXPECT_EQ(dialog.size(), QSize(309, 349));
  EXPECT_EQ(dialog.lbxAlias()->count(), 3);
  dialog.show();
  SaveScreenshot(dialog, "alias_dialog.png");
  QListWidgetItem* item = dialog.lbxAlias()->item(1);
  dialog.lbxAlias()->setCurrentItem(item);
  Q_EMIT dialog.lbxAlias()->itemDoubleClicked(item);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.selectedAlias(), "booking");

  TfrmVelgAlias empty({});
  empty.bbtOK()->click();
  EXPECT_EQ(empty.result(), QDialog::Accepted);
  EXPECT_TRUE(empty.selectedAlias().isEmpty());
}

using CoreTest = ConfiguredServer;

TEST_F(CoreTest, LogSwitchIsStoredAndTheViewFollowsTheLog) {
  ScriptedFace face;
  {
    ServerCore core(options(), face);
    core.start();
    EXPECT_FALSE(core.logging());
    // Logging off and nothing written today: there is no file to show.
    EXPECT_THROW(core.toggleLogView(), LogWriteError);
    EXPECT_TRUE(core.logViewShown());
    core.toggleLogView();
    EXPECT_FALSE(face.logView.has_value());

    core.toggleLogging();
    EXPECT_TRUE(face.logfileChecked);
    core.runBuiltInTest();
    core.toggleLogView();
    ASSERT_TRUE(face.logView.has_value());

    // Each request brings what it logged into a shown view.
    QTcpSocket client;
    client.connectToHost(QStringLiteral("127.0.0.1"), core.listeningPort());
    ASSERT_TRUE(client.waitForConnected(2000));
    client.write("messageID=v&count=1&header=INSTRUKSJON&data=TEST-API\n");
    client.flush();
    for (int i = 0; i < 50 && !face.logView->contains(u"U0 : messageID=v"); ++i) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_TRUE(face.logView->contains(u"I0 : messageID=v"));
    EXPECT_TRUE(face.logView->contains(u"Instruksjonen tok totalt"));

    core.toggleLogging();
    core.stop();
  }
  // Logging stays off after a restart.
  ServerCore again(options(), face);
  again.start();
  EXPECT_FALSE(again.logging());
  EXPECT_EQ(QSettings(configFile(), QSettings::IniFormat)
                .value(QStringLiteral("Software/Vindrelok/Taurelin/API/Logfile"))
                .toInt(),
            0);
}

TEST_F(CoreTest, TestCommandLogsItsAnswer) {
  ScriptedFace face;
  ServerCore core(options(), face);
  core.start();
  core.toggleLogging();
  core.runBuiltInTest();
  QFile log(ProcessLog().currentFilePath());
  ASSERT_TRUE(log.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(log.readAll());
  EXPECT_TRUE(text.contains(u" - Instruksjonen feiler : messageID=asdf12345667890&"));
  EXPECT_TRUE(text.contains(u" - U1 : messageID=asdf12345667890&1&"));
  EXPECT_TRUE(text.contains(u" - Respons : messageID=asdf12345667890&1&header="));
  EXPECT_FALSE(text.contains(u"I0 : "));
}

TEST_F(CoreTest, StoppedListenerStaysStoppedAfterItsClientsGo) {
  ScriptedFace face;
  ServerCore core(options(), face);
  core.start();
  QTcpSocket client;
  client.connectToHost(QStringLiteral("127.0.0.1"), core.listeningPort());
  ASSERT_TRUE(client.waitForConnected(2000));
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  core.toggleListening();
  EXPECT_FALSE(core.listening());
  for (int i = 0; i < 150; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_FALSE(core.listening()) << "the operator's stop must not be undone";
  EXPECT_EQ(face.panels[0], "Not connected");
}

// Serves events, timers among them, for `ms`.
void ServeEvents(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// An operator who takes a while to answer, as in a dialog: events are served meanwhile.
class SlowOperator : public ScriptedFace {
 public:
  QStringList shownWhileAsking;

  std::optional<QString> askValue(const QString& title, const QString& prompt,
                                  const QString& offered) override {
    ServeEvents(1500);
    shownWhileAsking = shown;
    return ScriptedFace::askValue(title, prompt, offered);
  }
};

bool Eventually(const std::function<bool()>& condition) {
  for (int i = 0; i < 250 && !condition(); ++i) ServeEvents(20);
  return condition();
}

TEST_F(CoreTest, SweepWaitsForTheDatabaseAndItsFailuresAreNoticed) {
  QSettings(configFile(), QSettings::IniFormat)
      .remove(QStringLiteral("Software/Vindrelok/Taurelin/API/Port"));
  SlowOperator face;
  face.answers << QStringLiteral("0");
  ServerOptions options = this->options();
  options.sweepIntervalSeconds = 1;
  // A directory that is not there yet: every sweep fails until it is made.
  const QString registerDirectory = dir_.filePath(QStringLiteral("register"));
  options.timeOutDirectory = registerDirectory;
  ServerCore core(options, face);
  EXPECT_FALSE(core.sweeping());

  core.start();
  // The operator was asked for the port for 1.5 s: no sweep ran before the database was there.
  ASSERT_TRUE(face.shown.join(u'\n').contains(u"ask: Definer IP-port"));
  EXPECT_FALSE(face.shownWhileAsking.join(u'\n').contains(u"sweep"));
  EXPECT_TRUE(core.sweeping());

  const auto noticed = [&face] { return face.shown.join(u'\n').contains(u"notice: The sweep"); };
  EXPECT_TRUE(Eventually(noticed));
  ASSERT_TRUE(QDir().mkpath(registerDirectory));
  EXPECT_TRUE(Eventually([&] { return QFile::exists(core.timeOuts().filePath()); }));
  EXPECT_TRUE(core.listening());

  core.stop();
  EXPECT_FALSE(core.sweeping());
}

TEST_F(CoreTest, UnusableDoorValueKeepsTheListenerClosed) {
  QSettings(configFile(), QSettings::IniFormat)
      .setValue(QStringLiteral("Software/Vindrelok/Taurelin/API/AllowedClients"),
                QStringLiteral("the web shop"));
  ScriptedFace face;
  ServerCore core(options(), face);
  EXPECT_THROW(core.start(), ConfigurationError);
  EXPECT_FALSE(core.listening());
  // Nor does the operator's Listen open it wider than configured.
  core.toggleListening();
  EXPECT_FALSE(core.listening());
  EXPECT_TRUE(face.shown.join(u'\n').contains(u"error: the listener stays closed"));
}

// Takes every free descriptor of this process while it lives.
class AllDescriptorsTaken {
 public:
  AllDescriptorsTaken() {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit few = saved_;
    few.rlim_cur = std::min<rlim_t>(saved_.rlim_cur, 1024);
    ::setrlimit(RLIMIT_NOFILE, &few);
    const int null = ::open("/dev/null", O_RDONLY);
    for (int fd = null; fd >= 0; fd = ::dup(null)) taken_.push_back(fd);
  }
  ~AllDescriptorsTaken() {
    for (const int fd : taken_) ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved_);
  }

 private:
  rlimit saved_{};
  std::vector<int> taken_;
};

TEST_F(CoreTest, OutOfDescriptorsAcceptingPausesAndTheClientsStay) {
  ScriptedFace face;
  ServerOptions options = this->options();
  options.sweepIntervalSeconds = 86400;
  ServerCore core(options, face);
  core.start();
  // The first sweep has made the register, and the mail courier has made its first round: no
  // sweep and no round comes while the descriptors are gone.
  ASSERT_TRUE(Eventually([&] { return QFile::exists(core.timeOuts().filePath()); }));
  ASSERT_TRUE(Eventually([&] { return !face.mailStatus.isEmpty(); }));
  const QByteArray request = "messageID=d&count=1&header=INSTRUKSJON&data=TEST-API\n";
  QTcpSocket steady;
  steady.connectToHost(QStringLiteral("127.0.0.1"), core.listeningPort());
  steady.write(request);
  ASSERT_TRUE(Eventually([&] { return steady.canReadLine(); }));
  steady.readAll();
  // Connected before the descriptors run out; the server has yet to accept it.
  QTcpSocket waiting;
  waiting.connectToHost(QStringLiteral("127.0.0.1"), core.listeningPort());
  ASSERT_TRUE(waiting.waitForConnected(2000));
  // A sanitizer's first check of a call through the face needs descriptors of its own (a
  // pipe): have it made while there are some.
  OperatorMessages* volatile messages = &face;
  messages->showNotice(QStringLiteral("before"));
  bool paused = false;
  {
    // No test failure is reported in here: that too would need a descriptor.
    const AllDescriptorsTaken taken;
    paused = Eventually(
        [&] { return face.shown.join(u'\n').contains(u"notice: Accepting clients paused"); });
  }
  EXPECT_TRUE(paused) << face.shown.join(u'\n').toStdString();
  EXPECT_TRUE(core.listening());
  waiting.write(request);
  EXPECT_TRUE(Eventually([&] { return waiting.canReadLine(); }));
  steady.write(request);
  EXPECT_TRUE(Eventually([&] { return steady.canReadLine(); }));
  EXPECT_EQ(steady.state(), QAbstractSocket::ConnectedState);
}

}  // namespace
}  // namespace taurelin

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
