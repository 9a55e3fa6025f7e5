#include "mail/mail_address.h"

namespace taurelin {
namespace {

bool IsAsciiLetterOrDigit(QChar c) {
  const char16_t u = c.unicode();
  return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9');
}

bool IsLocalCharacter(QChar c) {
  return IsAsciiLetterOrDigit(c) || QStringView(u".!#$%&'*+/=?^_`{|}~-").contains(c);
}

// A label of 1 to 63 letters, digits and hyphens, with no hyphen at either end.
bool IsLabel(QStringView label) {
  if (label.isEmpty() || label.size() > 63) return false;
  if (label.front() == u'-' || label.back() == u'-') return false;
  for (QChar c : label) {
    if (!IsAsciiLetterOrDigit(c) && c != u'-') return false;
  }
  return true;
}

}  // namespace

bool IsMailAddress(QStringView text) {
  const qsizetype at = text.indexOf(u'@');
  if (at <= 0) return false;
  for (QChar c : text.first(at)) {
    if (!IsLocalCharacter(c)) return false;
  }
  const QStringView domain = text.sliced(at + 1);
  qsizetype start = 0;
  while (true) {
    const qsizetype dot = domain.indexOf(u'.', start);
    const QStringView label = domain.sliced(start, (dot < 0 ? domain.size() : dot) - start);
    if (!IsLabel(label)) return false;
    if (dot < 0) return true;
    start = dot + 1;
  }
}

}  // namespace taurelin
