#include "mail/smtp_outcome.h"

namespace taurelin {
namespace {

DeliveryOutcome Temporary(const QString& why) {
  return {DeliveryOutcome::Kind::kTemporary, why};
}

DeliveryOutcome Permanent(const QString& why) {
  return {DeliveryOutcome::Kind::kPermanent, why};
}

}  // namespace

DeliveryOutcome SmtpFailure(CURLcode code, int replyCode, const QString& reply,
                            const QString& curlError) {
  const QString curlText =
      curlError.isEmpty() ? QString::fromUtf8(curl_easy_strerror(code)) : curlError;
  switch (code) {
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_CRL_BADFILE:
      return Permanent(QStringLiteral("the mail server's certificate does not verify, a "
                                      "configuration error (the CA file, or the host name in "
                                      "the URL): ") +
                       curlText);
    default:
      break;
  }
  // The server said no: its reply code decides, whatever step it refused.
  if (replyCode >= 400 && replyCode < 500) return Temporary(reply);
  if (replyCode >= 500 && replyCode < 600) return Permanent(reply);
  switch (code) {
    case CURLE_USE_SSL_FAILED:
      return Permanent(QStringLiteral("the mail server offers no STARTTLS, which a server on "
                                      "another machine must (smtps:// if it takes implicit "
                                      "TLS), a configuration error: ") +
                       curlText);
    case CURLE_LOGIN_DENIED:
      return Permanent(QStringLiteral("the mail server takes none of our login methods, a "
                                      "configuration error: ") +
                       curlText);
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_NOT_BUILT_IN:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_BAD_FUNCTION_ARGUMENT:
    case CURLE_UNKNOWN_OPTION:
      return Permanent(QStringLiteral("the mail settings cannot be used: ") + curlText);
    case CURLE_COULDNT_RESOLVE_HOST:
      return Temporary(QStringLiteral("the mail server's name was not found: ") + curlText);
    case CURLE_COULDNT_CONNECT:
      return Temporary(QStringLiteral("no connection to the mail server: ") + curlText);
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_ABORTED_BY_CALLBACK:  // only the deadline aborts
      return Temporary(QStringLiteral("the mail server did not answer in time: ") + curlText);
    case CURLE_SSL_CONNECT_ERROR:
      return Temporary(QStringLiteral("the TLS handshake with the mail server broke off: ") +
                       curlText);
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
      return Temporary(QStringLiteral("the connection to the mail server broke: ") + curlText);
    default:
      // Anything not foreseen: a later try may well succeed, and a message is not lost.
      return Temporary(curlText);
  }
}

}  // namespace taurelin
