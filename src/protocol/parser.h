#pragma once

// The request parser: turns one request text into its complete answer text.

#include "protocol/request_context.h"

#include <QString>

namespace taurelin {

// Cuts the request into its messageID, count, header and data sections, runs the data rows
// through the dispatcher, logs the time taken and frames the answer: the messageID section,
// the reply and LF, or the empty text when both are empty. Any failure on the way becomes
// the failure answer, which is logged twice. Throws only when logging that failure fails.
QString ProcessRequest(const QString& request, RequestContext& context);

}  // namespace taurelin
