#pragma once

// What the SMTP submission needs to know about its settings beyond CheckSmtpSettings.
//
// Promises: the password file is read through one open descriptor, so the file checked is the
// file read; it is refused, naming it, when group or others may use it or when it is not a
// plain file; error texts never hold the password.

#include "mail/mail_delivery.h"

namespace taurelin {

// 127.0.0.1, ::1 or localhost: traffic that never leaves the machine.
bool IsThisMachine(const QString& host);

// CheckSmtpSettings, handing back the password it read (empty without a user).
QString CheckSmtpSettings(const SmtpSettings& settings, QByteArray* password);

}  // namespace taurelin
