#pragma once

// Keeps the memory a request frees for the next request, rather than giving it back to the
// system after every statement.
//
// SQLite opens a table in memory for some statements of a reservation and frees it at the
// statement's end, about 180 KB each time.
// The C library handed that back to the system at once (its threshold is 128 KB), and took
// it again at the next statement, each new page a fault for the kernel to fill: a sixth of a
// reservation's time. Promises: freed memory at the top of the heap is kept up to
// kKeptBytes; beyond that it is given back as before. Blocks up to kHeapBlockBytes come from
// the heap (fixing the first setting stops the library from raising this one by itself, as it
// did after the first large answer). A malloc setting the operator gives in GLIBC_TUNABLES
// stands. Nothing happens on a C library other than glibc.
namespace taurelin {

inline constexpr int kKeptBytes = 4 * 1024 * 1024;
inline constexpr int kHeapBlockBytes = 1024 * 1024;

void KeepFreedMemoryForTheNextRequest();

}  // namespace taurelin
