#pragma once

// The process's limit on open descriptors, and how many client connections it leaves room
// for. Every connection takes a descriptor; the day log, the time-out register with its lock
// file and the database need theirs too, so a reserve is kept for them.

namespace taurelin {

struct ConnectionRoom {
  long long descriptorLimit = 0;  // the soft limit, after raising it
  int connections = 0;            // the most connections that may be open at once
};

// Descriptors kept free beside those open at start-up: for the day log, the register and
// its lock file, the database's journal and a reconnect, with room to spare.
inline constexpr int kDescriptorReserve = 64;

// Raises the soft limit on open descriptors to the hard limit and says how many connections
// fit: `wanted` at most, and no more than the limit less the reserve and what is open now
// (at least one, so a server with a tiny limit still serves).
ConnectionRoom RoomForConnections(int wanted);

}  // namespace taurelin
