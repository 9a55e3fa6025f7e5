#include "app/steady_heap.h"

#include <cstdlib>
#include <cstring>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace taurelin {

void KeepFreedMemoryForTheNextRequest() {
#if defined(__GLIBC__)
  const char* tunables = std::getenv("GLIBC_TUNABLES");
  if (tunables != nullptr && std::strstr(tunables, "glibc.malloc.") != nullptr) return;
  mallopt(M_TRIM_THRESHOLD, kKeptBytes);
  mallopt(M_MMAP_THRESHOLD, kHeapBlockBytes);
#endif
}

}  // namespace taurelin
