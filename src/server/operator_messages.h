#pragma once

#include <QString>

namespace taurelin {

// How the server tells the operator about a problem, such as what the booking store reports
// (OperatorStoreReports words it). Each face implements it: message boxes in the window,
// lines on standard error when headless. Implementations never block the event loop for long.
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

}  // namespace taurelin
