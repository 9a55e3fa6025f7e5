#include "server/main_window.h"

#include "server/alias_dialog.h"
#include "server/headless_face.h"

#include <QCloseEvent>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextCursor>

#include <cmath>

namespace taurelin {

TfrmAPIMain::TfrmAPIMain(const ServerOptions& options, QWidget* parent)
    : QMainWindow(parent), memLogFile_(new QPlainTextEdit(this)), core_(options, *this) {
  setWindowTitle(QStringLiteral("Taurelin 5.2.x Internett API"));
  resize(600, 442);

  QMenu* api = menuBar()->addMenu(QStringLiteral("API"));
  mniListen_ = api->addAction(QStringLiteral("Listen"));
  mniListen_->setCheckable(true);
  mniListen_->setStatusTip(QStringLiteral("Start the API-listener"));
  mniLogfile_ = api->addAction(QStringLiteral("Logfile"));
  mniLogfile_->setCheckable(true);
  mniViewLogfile_ = api->addAction(QStringLiteral("Show Logfile"));
  mniViewLogfile_->setCheckable(true);
  mniTest_ = api->addAction(QStringLiteral("Test"));
  // The core keeps the check marks; a click asks it and it sets them back.
  connect(mniListen_, &QAction::triggered, this, &TfrmAPIMain::mniListenClick);
  connect(mniLogfile_, &QAction::triggered, this, &TfrmAPIMain::mniLogfileClick);
  connect(mniViewLogfile_, &QAction::triggered, this, &TfrmAPIMain::mniViewLogfileClick);
  connect(mniTest_, &QAction::triggered, this, &TfrmAPIMain::Test1Click);

  memLogFile_->setObjectName(QStringLiteral("memLogFile"));
  memLogFile_->setReadOnly(true);
  // The view only grows by what is logged: a history of its edits would grow all day.
  memLogFile_->setUndoRedoEnabled(false);
  memLogFile_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memLogFile_->hide();
  setCentralWidget(memLogFile_);

  statusBar()->setObjectName(QStringLiteral("stbAPI"));
  statusBar()->setSizeGripEnabled(false);
  for (QLabel*& label : panels_) {
    label = new QLabel(this);
    label->setAlignment(Qt::AlignCenter);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    statusBar()->addWidget(label);
  }
  channelPanel_ = new QLabel(this);
  channelPanel_->setObjectName(QStringLiteral("channelStatus"));
  channelPanel_->setAlignment(Qt::AlignCenter);
  channelPanel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  channelPanel_->hide();
  statusBar()->addWidget(channelPanel_);
  FormResize();
}

TfrmAPIMain::~TfrmAPIMain() { FormDestroy(); }

void TfrmAPIMain::FormCreate() {
  try {
    core_.start();
  } catch (const std::exception& failure) {
    showError(QString::fromUtf8(failure.what()));
  }
}

void TfrmAPIMain::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  core_.stop();
}

void TfrmAPIMain::FormResize() {
  // Rounded to the nearest integer, halves to even.
  const auto share = [this](int percent) {
    return static_cast<int>(std::nearbyint(width() * percent / 100.0));
  };
  // The channels' panel, when shown, takes a fifth of the bar from the others alike.
  const bool channels = !channelPanel_->isHidden();
  const auto panelShare = [&](int percent) { return channels ? share(percent * 4) / 5 : share(percent); };
  panels_[0]->setFixedWidth(panelShare(31));
  for (int i = 1; i < 4; ++i) panels_[i]->setFixedWidth(panelShare(23));
  if (channels) channelPanel_->setFixedWidth(share(20));
}

void TfrmAPIMain::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FormResize();
}

void TfrmAPIMain::closeEvent(QCloseEvent* event) {
  FormDestroy();
  event->accept();
}

void TfrmAPIMain::mniListenClick() { core_.toggleListening(); }

void TfrmAPIMain::mniLogfileClick() { core_.toggleLogging(); }

void TfrmAPIMain::Test1Click() { core_.runBuiltInTest(); }

void TfrmAPIMain::mniViewLogfileClick() {
  try {
    core_.toggleLogView();
  } catch (const std::exception& failure) {
    showError(QString::fromUtf8(failure.what()));
  }
}

void TfrmAPIMain::showError(const QString& text) {
  QMessageBox::critical(this, windowTitle(), text, QMessageBox::Ok);
}

void TfrmAPIMain::showMessage(const QString& text) {
  QMessageBox::information(this, windowTitle(), text, QMessageBox::Ok);
}

std::optional<QString> TfrmAPIMain::askValue(const QString& title, const QString& prompt,
                                             const QString& offered) {
  bool ok = false;
  const QString text =
      QInputDialog::getText(this, title, prompt, QLineEdit::Normal, offered, &ok);
  if (!ok) return std::nullopt;
  return text;
}

std::optional<QString> TfrmAPIMain::pickAlias(const QStringList& aliases) {
  TfrmVelgAlias dialog(aliases, this);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.selectedAlias();
}

void TfrmAPIMain::showNotice(const QString& text) {
  // One box that is never waited for; a new notice replaces the text of a shown one.
  PrintLine(text);
  if (notice_ == nullptr) {
    notice_ = new QMessageBox(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
    notice_->setModal(false);
  }
  notice_->setText(text);
  notice_->show();
}

void TfrmAPIMain::setPanel(Panel panel, const QString& text) { panels_[panel]->setText(text); }

void TfrmAPIMain::setChannelStatus(const QString& text) {
  channelStatus_ = text;
  showStatus();
}

void TfrmAPIMain::setMailStatus(const QString& text) {
  mailStatus_ = text;
  showStatus();
}

// One panel for both: the channels' state and the outbox's, as there are.
void TfrmAPIMain::showStatus() {
  QStringList parts;
  if (!channelStatus_.isEmpty()) parts << channelStatus_;
  if (!mailStatus_.isEmpty()) parts << mailStatus_;
  channelPanel_->setText(parts.join(QStringLiteral(" · ")));
  if (channelPanel_->isHidden()) {
    channelPanel_->show();
    FormResize();
  }
}

void TfrmAPIMain::setServing(bool serving) {
  panels_[kListenerPanel]->setFrameShadow(serving ? QFrame::Raised : QFrame::Sunken);
  statusBar()->repaint();
}

void TfrmAPIMain::setListenChecked(bool checked) { mniListen_->setChecked(checked); }

void TfrmAPIMain::setLogfileChecked(bool checked) { mniLogfile_->setChecked(checked); }

void TfrmAPIMain::setShowLogfileChecked(bool checked) { mniViewLogfile_->setChecked(checked); }

void TfrmAPIMain::showLogView(const QString& content) {
  // The view ends with an empty line below the last one logged.
  memLogFile_->setPlainText(content + QStringLiteral("\r\n"));
  memLogFile_->show();
  memLogFile_->verticalScrollBar()->setValue(memLogFile_->verticalScrollBar()->maximum());
}

void TfrmAPIMain::appendLogView(const QString& lines) {
  // Before the line break that showLogView added, so that the view reads as a fresh load
  // of the file would.
  QTextCursor cursor(memLogFile_->document());
  cursor.movePosition(QTextCursor::End);
  cursor.movePosition(QTextCursor::PreviousCharacter);
  cursor.insertText(lines);
  memLogFile_->verticalScrollBar()->setValue(memLogFile_->verticalScrollBar()->maximum());
}

void TfrmAPIMain::hideLogView() { memLogFile_->hide(); }

}  // namespace taurelin
