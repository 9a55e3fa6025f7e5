#pragma once

// Test support: an operator face that answers from a script and records what it was shown.

#include "server/operator_interface.h"

#include <QList>
#include <QStringList>

#include <optional>

namespace taurelin {

class ScriptedFace : public OperatorInterface {
 public:
  // Answers for askValue, in order; nothing stands for Cancel. Once used up: Cancel.
  QList<std::optional<QString>> answers;
  // The answer of pickAlias.
  std::optional<QString> alias;
  // Everything shown or asked, in order ("error: ...", "ask: TITLE", ...).
  QStringList shown;
  QString panels[4];
  QString channelStatus;
  QString mailStatus;
  bool listenChecked = false;
  bool logfileChecked = false;
  bool showLogfileChecked = false;
  std::optional<QString> logView;

  void showError(const QString& text) override { shown << "error: " + text; }
  void showMessage(const QString& text) override { shown << "message: " + text; }
  void showNotice(const QString& text) override { shown << "notice: " + text; }
  std::optional<QString> askValue(const QString& title, const QString& prompt,
                                  const QString& offered) override {
    shown << "ask: " + title + " | " + prompt + " | " + offered;
    return answers.isEmpty() ? std::nullopt : answers.takeFirst();
  }
  std::optional<QString> pickAlias(const QStringList& aliases) override {
    shown << "pick: " + aliases.join(u',');
    return alias;
  }
  void setPanel(Panel panel, const QString& text) override { panels[panel] = text; }
  void setChannelStatus(const QString& text) override { channelStatus = text; }
  void setMailStatus(const QString& text) override { mailStatus = text; }
  void setServing(bool) override {}
  void setListenChecked(bool checked) override { listenChecked = checked; }
  void setLogfileChecked(bool checked) override { logfileChecked = checked; }
  void setShowLogfileChecked(bool checked) override { showLogfileChecked = checked; }
  void showLogView(const QString& content) override { logView = content; }
  void appendLogView(const QString& lines) override {
    if (logView) *logView += lines;
  }
  void hideLogView() override { logView.reset(); }
};

}  // namespace taurelin
