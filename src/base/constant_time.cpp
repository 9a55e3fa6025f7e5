#include "base/constant_time.h"

namespace taurelin {

bool EqualInConstantTime(QByteArrayView a, QByteArrayView b) {
  if (a.size() != b.size()) return false;
  unsigned char difference = 0;
  for (qsizetype i = 0; i < a.size(); ++i) {
    difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  }
  // Read through a volatile, so the compiler cannot stop the loop at the first difference.
  volatile unsigned char seen = difference;
  return seen == 0;
}

}  // namespace taurelin
