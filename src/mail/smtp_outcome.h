#pragma once

// How a failed submission is told: whether a retry can help, and in whose words.
//
// Promises: a 4xx reply is temporary and a 5xx permanent, whichever step it answered, and the
// outcome then carries the reply as the server wrote it; a certificate that does not verify,
// a server without STARTTLS where it is required and a login the server cannot take are
// permanent and said to be configuration errors; a connection that could not be made, broke,
// or timed out, a failed name lookup and a broken TLS handshake are temporary; what is not
// known is temporary, so a message is retried rather than lost.

#include "mail/mail_delivery.h"

#include <curl/curl.h>

namespace taurelin {

// `replyCode` and `reply`: the server's last complete reply (0 and empty when none came);
// `curlError`: libcurl's account of the failure.
DeliveryOutcome SmtpFailure(CURLcode code, int replyCode, const QString& reply,
                            const QString& curlError);

}  // namespace taurelin
