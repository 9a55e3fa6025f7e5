#pragma once

// Delivery of one composed message (RFC 5322 bytes, lines ending in CRLF): submission to a
// mail server over SMTP, or a file in a pickup folder that a local mail system collects.
//
// Promises: every call blocks for a bounded time and never touches an event loop, so the
// outbox's worker thread may call it; the outcome says whether a retry can help, with the
// server's own answer or the reason in a line fit for an operator, never a password. The
// message goes out as given: libcurl stuffs dots and ends the data, nothing else is changed.
// A message is sent whole or refused whole: with several recipients, one refused recipient
// fails the whole message before its data goes, so nobody has it (the outbox sends one
// recipient per message in practice). Certificates and host names are always verified;
// STARTTLS is required unless the server is on this machine (127.0.0.1, ::1, localhost).

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace taurelin {

struct DeliveryOutcome {
  enum class Kind {
    kDelivered,  // the server took the message (or the file is in the folder)
    kTemporary,  // try again later: a 4xx, no connection, a time-out, a broken TLS handshake
    kPermanent,  // retrying will not help: a 5xx, or settings that must be mended first
  };
  Kind kind;
  // The mail server's last answer (code and text), or why it failed; never a password.
  QString answer;
};

struct SmtpSettings {
  // smtp://host:port (STARTTLS required unless the host is this machine) or smtps://host:port
  // (implicit TLS). A path is the name we give in EHLO; without one, this machine's name.
  QUrl url;
  QString user;  // empty: no AUTH
  // Read at each delivery: a file only its owner may read or write (0600 or 0400), the
  // password on its first line. Any other mode is refused with an error naming the file.
  QString passwordFile;
  // Optional: trust only this CA (tests use a throwaway one); else the system's.
  QString caFile;
  // The whole delivery, connection included; a second more at most, to say goodbye.
  int timeoutSeconds = 60;
};

// Submits one message: envelope sender (empty: the null sender <>), recipients, the composed
// bytes. An address holding a line break, a control character or an angle bracket is refused
// before anything is sent, and so is a message with a bare CR or LF: a server could read
// either as more commands or as the end of the data.
DeliveryOutcome SendBySmtp(const SmtpSettings& settings, const QString& envelopeFrom,
                           const QStringList& recipients, const QByteArray& message);

// The embedded default: writes the message as NAME.eml into `folder` (created if missing,
// 0750), atomically (a temporary file, fsync, a rename that never replaces), mode 0640; an existing
// file of that name is kept (the same mail written twice stays one file). NAME is a plain file
// name: no slash, no leading dot, no control character.
DeliveryOutcome DropInFolder(const QString& folder, const QString& name,
                             const QByteArray& message);

// A check of the settings for start-up: an error text, empty when they can be used (url scheme
// smtp/smtps, a host, no password in the URL, a port that fits the scheme, password file rules,
// a readable CA file, a time-out between 1 and 3600 seconds).
QString CheckSmtpSettings(const SmtpSettings& settings);

}  // namespace taurelin
