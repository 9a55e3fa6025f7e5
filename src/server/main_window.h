#pragma once

// The operator's window: the menu API (Listen, Logfile, Show Logfile, Test), the log view
// and the status bar with its four panels. It is the windowed face of the server core.

#include "server/operator_interface.h"
#include "server/server_core.h"

#include <QMainWindow>

class QAction;
class QLabel;
class QMessageBox;
class QPlainTextEdit;

namespace taurelin {

class TfrmAPIMain : public QMainWindow, public OperatorInterface {
  Q_OBJECT

 public:
  explicit TfrmAPIMain(const ServerOptions& options, QWidget* parent = nullptr);
  ~TfrmAPIMain() override;

  // Starts the server; a failure is shown in an error box and the window stays.
  void FormCreate();
  void FormDestroy();
  // Panel widths follow the window's width: 31 % for the first, 23 % for the others.
  void FormResize();

  ServerCore& core() { return core_; }
  QAction* mniListen() const { return mniListen_; }
  QAction* mniLogfile() const { return mniLogfile_; }
  QAction* mniViewLogfile() const { return mniViewLogfile_; }
  QAction* mniTest() const { return mniTest_; }
  QPlainTextEdit* memLogFile() const { return memLogFile_; }
  QLabel* panel(int index) const { return panels_[index]; }
  QLabel* channelPanel() const { return channelPanel_; }

  // OperatorInterface
  void showError(const QString& text) override;
  void showMessage(const QString& text) override;
  std::optional<QString> askValue(const QString& title, const QString& prompt,
                                  const QString& offered) override;
  std::optional<QString> pickAlias(const QStringList& aliases) override;
  void showNotice(const QString& text) override;
  void setPanel(Panel panel, const QString& text) override;
  void setChannelStatus(const QString& text) override;
  void setMailStatus(const QString& text) override;
  void setServing(bool serving) override;
  void setListenChecked(bool checked) override;
  void setLogfileChecked(bool checked) override;
  void setShowLogfileChecked(bool checked) override;
  void showLogView(const QString& content) override;
  void appendLogView(const QString& lines) override;
  void hideLogView() override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // The menu's commands, each handed to the core.
  void mniListenClick();
  void mniLogfileClick();
  void mniViewLogfileClick();
  void Test1Click();

  QAction* mniListen_;
  QAction* mniLogfile_;
  QAction* mniViewLogfile_;
  QAction* mniTest_;
  QPlainTextEdit* memLogFile_;
  QLabel* panels_[4];
  QLabel* channelPanel_;  // the channels' and the outbox's state; hidden while it has none
  QString channelStatus_, mailStatus_;
  void showStatus();
  QMessageBox* notice_ = nullptr;
  ServerCore core_;
  bool destroyed_ = false;
};

}  // namespace taurelin
