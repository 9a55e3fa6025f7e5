#pragma once

#include <QString>

namespace taurelin {

// How the booking store tells the operator about a problem while it connects or computes.
// The server shell implements it with message boxes in the window and with lines on
// standard error when headless. Implementations never block the event loop for long.
class OperatorMessages {
 public:
  virtual ~OperatorMessages() = default;
  // An error box with an OK button.
  virtual void showError(const QString& text) = 0;
  // A plain message box.
  virtual void showMessage(const QString& text) = 0;
  // A notice raised while a request is served: shown without making anybody wait for it.
  virtual void showNotice(const QString& text) = 0;
};

// Writes each message as a line on standard error.
class StandardErrorMessages : public OperatorMessages {
 public:
  void showError(const QString& text) override;
  void showMessage(const QString& text) override;
  void showNotice(const QString& text) override;
};

}  // namespace taurelin
