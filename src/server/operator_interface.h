#pragma once

// What the server core asks of its face: the operator window, or standard error when the
// server runs headless. The core holds all the logic; a face only shows and asks.

#include "server/operator_messages.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace taurelin {

class OperatorInterface : public OperatorMessages {
 public:
  // The status bar's panels: connection, listener, port, version.
  enum Panel { kConnectionPanel = 0, kListenerPanel = 1, kPortPanel = 2, kVersionPanel = 3 };

  // showError: an error box with an OK button. showMessage: an information box.
  // showNotice: a notice that must not wait for the operator.

  // An input box offering `offered`: the text the operator confirms, or nothing on cancel.
  virtual std::optional<QString> askValue(const QString& title, const QString& prompt,
                                          const QString& offered) = 0;
  // The alias dialog over `aliases`: the chosen alias, the empty text for OK without a
  // choice, nothing on cancel.
  virtual std::optional<QString> pickAlias(const QStringList& aliases) = 0;

  virtual void setPanel(Panel panel, const QString& text) = 0;
  // The channel calendars' state, beside the panels (shown once there is one to show).
  virtual void setChannelStatus(const QString& text) = 0;
  // The outbox's state ("Mail: 3 waiting, 1 failed"), beside the channels' (shown once there
  // is one to show).
  virtual void setMailStatus(const QString& text) = 0;
  // Panel 1 stands out while a request is being served.
  virtual void setServing(bool serving) = 0;
  virtual void setListenChecked(bool checked) = 0;
  virtual void setLogfileChecked(bool checked) = 0;
  virtual void setShowLogfileChecked(bool checked) = 0;
  // Shows the log view with `content`, the text of today's log file, and the view scrolled
  // to its end, or hides it.
  virtual void showLogView(const QString& content) = 0;
  // Adds lines logged since to the end of the shown view, and scrolls to them.
  virtual void appendLogView(const QString& lines) = 0;
  virtual void hideLogView() = 0;
};

}  // namespace taurelin
