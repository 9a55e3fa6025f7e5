#include "mail/gmime_library.h"

#include <gmime/gmime.h>

#include <mutex>

namespace taurelin {

void EnsureGMime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

}  // namespace taurelin
