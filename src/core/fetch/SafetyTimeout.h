#pragma once

namespace kaldrani::fetch {

// The bound on each wait for data in the queries that would otherwise wait without end
// (the fourteen counts, PageRank, the Sogou rating): a server that accepts and then stays
// silent must not hold the run forever. Milliseconds; 10000 unless changed.
int safetyReadTimeoutMs();

// Changes the bound for the whole process (tests use a small one). Values below 1 are
// taken as 1.
void setSafetyReadTimeoutMs(int ms);

} // namespace kaldrani::fetch
