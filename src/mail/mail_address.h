#pragma once

// Whether a text is one e-mail address that a mail may be sent to.
//
// Promises: the rule is the booking page's (an HTML e-mail field's "valid e-mail address":
// an unquoted local part, one @, a domain of letters, digits and hyphens), so an address the
// page took is one here; a text with blanks, line breaks, angle brackets, commas or a second
// @ (a name, a header or a list of addresses) is none.

#include <QStringView>

namespace taurelin {

bool IsMailAddress(QStringView text);

}  // namespace taurelin
