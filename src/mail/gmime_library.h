#pragma once

// GMime set up for this process: its types, charset tables and iconv cache.
//
// Promises: the first call initialises GMime, on whichever thread makes it, and every other
// call, on any thread, returns once that is done. GMime is never shut down: a server makes
// mails for its whole life, and what GMime keeps for that is allocated once.

namespace taurelin {

void EnsureGMime();

}  // namespace taurelin
