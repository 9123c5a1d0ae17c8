// Stand-in for the maker's unique-id service: every object asks for an id
// when it is constructed and gives it back when it is destroyed.
#pragma once

#include <cstdint>

// A fresh id: never 0, distinct from every id handed out since the last reset.
std::uint64_t QueryUniqueID();
// Gives an id back. Ids are not reused, so this only keeps the count.
void ReleaseUniqueID(std::uint64_t id);
// Number of ids handed out and not yet given back.
std::uint64_t CountLiveUniqueIDs();
// Restarts numbering at `first` (0 counts as 1) so that tests get ids they
// can recognise. Only call it when no object made before the reset will be
// saved or loaded together with objects made after it.
void ResetUniqueIDs(std::uint64_t first = 1);
