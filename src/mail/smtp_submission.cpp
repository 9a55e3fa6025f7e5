// SendBySmtp: one message through libcurl's SMTP client, on the caller's thread.

#include "mail/mail_delivery.h"
#include "mail/smtp_outcome.h"
#include "mail/smtp_replies.h"
#include "mail/smtp_settings.h"

#include <QDeadlineTimer>
#include <QFile>

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

namespace taurelin {
namespace {

DeliveryOutcome Permanent(const QString& why) {
  return {DeliveryOutcome::Kind::kPermanent, why};
}

bool CurlStarted() {
  // libcurl's global set-up must run once before any handle and never twice at a time; a
  // function-local static gives both, whichever worker thread comes first.
  static const bool started = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return started;
}

// Line breaks and angle brackets would let an address end the command and start another.
QString AddressProblem(const QString& address, const QString& which) {
  for (const QChar c : address) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char('<') ||
        c == QLatin1Char('>')) {
      return QStringLiteral("the %1 address \"%2\" holds a line break, a control character or "
                            "an angle bracket")
          .arg(which, address.simplified());
    }
  }
  return {};
}

// libcurl doubles a dot only after CRLF, and servers differ on a bare LF; a bare line end
// would let a line of the message pass as the end of the data.
qsizetype BareLineEnd(const QByteArray& message) {
  for (qsizetype i = 0; i < message.size(); ++i) {
    if (message[i] == '\r' && (i + 1 == message.size() || message[i + 1] != '\n')) return i;
    if (message[i] == '\n' && (i == 0 || message[i - 1] != '\r')) return i;
  }
  return -1;
}

struct Upload {
  const QByteArray* message;
  qsizetype sent = 0;
};

size_t ReadMessage(char* buffer, size_t size, size_t count, void* user) {
  auto* upload = static_cast<Upload*>(user);
  const size_t left = static_cast<size_t>(upload->message->size() - upload->sent);
  const size_t n = std::min(left, size * count);
  std::memcpy(buffer, upload->message->constData() + upload->sent, n);
  upload->sent += static_cast<qsizetype>(n);
  return n;
}

int Listen(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  auto* replies = static_cast<SmtpReplies*>(user);
  if (type == CURLINFO_HEADER_IN) replies->add(data, size);
  // What we send is only looked at, never kept: it holds the login.
  if (type == CURLINFO_HEADER_OUT) replies->sent(data, size);
  if (type == CURLINFO_DATA_OUT) replies->sent(nullptr, 0);
  return 0;
}

// libcurl's own time-out spares the QUIT that follows a failure, which would wait as long
// again for a server that has stopped answering; this one does not.
int CheckDeadline(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<QDeadlineTimer*>(user)->hasExpired() ? 1 : 0;
}

struct CurlCleanup {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

DeliveryOutcome SendBySmtp(const SmtpSettings& settings, const QString& envelopeFrom,
                           const QStringList& recipients, const QByteArray& message) {
  QByteArray password;
  if (QString problem = CheckSmtpSettings(settings, &password); !problem.isEmpty()) {
    return Permanent(problem);
  }
  if (recipients.isEmpty()) return Permanent(QStringLiteral("the message has no recipient"));
  QString problem = AddressProblem(envelopeFrom, QStringLiteral("sender"));
  for (const QString& recipient : recipients) {
    if (!problem.isEmpty()) break;
    problem = recipient.isEmpty() ? QStringLiteral("a recipient address is empty")
                                  : AddressProblem(recipient, QStringLiteral("recipient"));
  }
  if (problem.isEmpty() && message.isEmpty()) problem = QStringLiteral("the message is empty");
  if (const qsizetype at = BareLineEnd(message); problem.isEmpty() && at >= 0) {
    problem = QStringLiteral("the message has a line not ended by CRLF (byte %1)").arg(at);
  }
  if (!problem.isEmpty()) {
    password.fill('\0');
    return Permanent(problem);
  }
  if (!CurlStarted()) {
    password.fill('\0');
    return {DeliveryOutcome::Kind::kTemporary, QStringLiteral("libcurl could not be started")};
  }

  // Declared before the handle: libcurl may still call back while the handle is cleaned up.
  SmtpReplies replies;
  char curlError[CURL_ERROR_SIZE] = {};
  Upload upload{&message};
  QDeadlineTimer deadline(std::chrono::seconds(settings.timeoutSeconds));
  std::unique_ptr<curl_slist, ListFree> to;
  for (const QString& recipient : recipients) {
    // The head stays the same once there is one.
    curl_slist* head = curl_slist_append(to.get(), recipient.toUtf8().constData());
    if (head == nullptr) {
      password.fill('\0');
      return {DeliveryOutcome::Kind::kTemporary, QStringLiteral("out of memory")};
    }
    if (!to) to.reset(head);
  }
  std::unique_ptr<CURL, CurlCleanup> handle(curl_easy_init());
  if (!handle) {
    password.fill('\0');
    return {DeliveryOutcome::Kind::kTemporary, QStringLiteral("libcurl gave no handle")};
  }
  CURL* curl = handle.get();

  const QUrl& url = settings.url;
  const QByteArray address =
      url.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment)
          .toEncoded();
  const long seconds = settings.timeoutSeconds;
  curl_easy_setopt(curl, CURLOPT_URL, address.constData());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, curlError);
  curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);  // feeds Listen; nothing is printed
  curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, Listen);
  curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &replies);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, seconds);
  curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, seconds);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, seconds);
  curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);  // so QUIT is sent while the deadline holds
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, CheckDeadline);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &deadline);

  // Mail for this machine need not be encrypted; mail for any other must be.
  curl_easy_setopt(curl, CURLOPT_USE_SSL,
                   IsThisMachine(url.host()) ? static_cast<long>(CURLUSESSL_TRY)
                                             : static_cast<long>(CURLUSESSL_ALL));
  curl_easy_setopt(curl, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!settings.caFile.isEmpty()) {
    curl_easy_setopt(curl, CURLOPT_CAINFO, QFile::encodeName(settings.caFile).constData());
    // The built-in folder of system CAs would be trusted as well.
    curl_easy_setopt(curl, CURLOPT_CAPATH, static_cast<char*>(nullptr));
  }
  if (!settings.user.isEmpty()) {
    curl_easy_setopt(curl, CURLOPT_USERNAME, settings.user.toUtf8().constData());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());  // libcurl keeps a copy
  }
  password.fill('\0');

  curl_easy_setopt(curl, CURLOPT_MAIL_FROM, envelopeFrom.toUtf8().constData());
  curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, to.get());
  curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadMessage);
  curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
  curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));

  const CURLcode code = curl_easy_perform(curl);
  const DeliveryOutcome outcome =
      code == CURLE_OK
          ? DeliveryOutcome{DeliveryOutcome::Kind::kDelivered, replies.last()}
          : SmtpFailure(code, replies.lastCode(), replies.last(), QString::fromUtf8(curlError));
  handle.reset();
  return outcome;
}

}  // namespace taurelin
