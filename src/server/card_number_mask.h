#pragma once

// Card numbers never reach the day log in full: a booker's card number travels in BOOKING's
// request, and a request is logged as it came, also inside a failure's answer.

#include <QString>

namespace taurelin {

// The text with every run that may be a card number (13 to 19 digits, in one run or in
// groups split by single blanks or dashes, no digit right before or after) shown as "*" but
// for its last four digits. The messageID section is left as it stands: a client's own message numbers
// must stay readable to find its requests in the log.
QString MaskCardNumbers(const QString& text);

}  // namespace taurelin
