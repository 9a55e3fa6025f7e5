#pragma once

// The server's face without a window: it never waits for an operator. A question is answered
// with the offered default, and a line on standard error says so; a missing alias is taken
// when the alias file holds exactly one; messages and notices become lines on standard
// error. Status panels are not shown, except the listener's state.

#include "server/operator_interface.h"

#include <stdexcept>

namespace taurelin {

// Start-up cannot go on without an operator's answer.
class NeedsOperatorError : public std::runtime_error {
 public:
  explicit NeedsOperatorError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

class HeadlessFace : public OperatorInterface {
 public:
  void showError(const QString& text) override;
  void showMessage(const QString& text) override;
  std::optional<QString> askValue(const QString& title, const QString& prompt,
                                  const QString& offered) override;
  // Throws NeedsOperatorError unless exactly one alias is defined.
  std::optional<QString> pickAlias(const QStringList& aliases) override;
  void showNotice(const QString& text) override;
  void setPanel(Panel panel, const QString& text) override;
  // Printed when it changes.
  void setChannelStatus(const QString& text) override;
  void setMailStatus(const QString& text) override;
  void setServing(bool) override {}
  void setListenChecked(bool) override {}
  void setLogfileChecked(bool) override {}
  void setShowLogfileChecked(bool) override {}
  void showLogView(const QString&) override {}
  void appendLogView(const QString&) override {}
  void hideLogView() override {}

 private:
  QString channelStatus_;
  QString mailStatus_;
};

// Writes "taurelin-api: " + text as a line on standard error.
void PrintLine(const QString& text);

}  // namespace taurelin
