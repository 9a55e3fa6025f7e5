#pragma once

// Card numbers never reach the day log in full: a booker's card number travels in BOOKING's
// request, and a request is logged as it came, also inside a failure's answer.

#include <QString>

namespace taurelin {

// The text with what may be a card number shown as "*" but for its last four digits: the
// value of a KREDITKORTNR column wherever a request names one in its header, and every run
// of 13 to 19 digits (in one run, or in groups split by single blanks or dashes) that passes
// the card numbers' check digit and stands on its own, not inside a word or an identifier
// (a calendar event's UID of hexadecimal digits stays readable). The messageID section is
// left as it stands: a client's own message numbers must stay readable to find its requests
// in the log.
QString MaskCardNumbers(const QString& text);

}  // namespace taurelin
