#include "server/descriptor_limit.h"

#include <QDir>

#include <algorithm>

#include <fcntl.h>
#include <sys/resource.h>

namespace taurelin {
namespace {

// The soft limit after raising it as far as the hard limit allows.
long long RaiseSoftLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
  if (limit.rlim_cur != limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    // An unlimited hard limit is still bounded by the kernel's own maximum.
    if (::setrlimit(RLIMIT_NOFILE, &raised) != 0 && limit.rlim_max == RLIM_INFINITY) {
      raised.rlim_cur = 1 << 20;
      ::setrlimit(RLIMIT_NOFILE, &raised);
    }
    ::getrlimit(RLIMIT_NOFILE, &limit);
  }
  return limit.rlim_cur == RLIM_INFINITY ? 1LL << 20 : static_cast<long long>(limit.rlim_cur);
}

int OpenDescriptors(long long limit) {
  const QDir open(QStringLiteral("/proc/self/fd"));
  if (open.exists()) {
    return static_cast<int>(
        open.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
  }
  int count = 0;
  for (int fd = 0; fd < std::min(limit, 65536LL); ++fd) {
    if (::fcntl(fd, F_GETFD) != -1) ++count;
  }
  return count;
}

}  // namespace

ConnectionRoom RoomForConnections(int wanted) {
  ConnectionRoom room;
  room.descriptorLimit = RaiseSoftLimit();
  const long long free = room.descriptorLimit - kDescriptorReserve -
                         OpenDescriptors(room.descriptorLimit);
  room.connections = static_cast<int>(std::clamp<long long>(free, 1, wanted));
  return room;
}

}  // namespace taurelin
