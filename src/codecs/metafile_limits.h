#pragma once
// Bounds that keep a hostile metafile from taking unbounded time or memory.

#include <cstddef>

namespace zelk {

// Playback stops after this many records; what was drawn so far is kept.
inline constexpr std::size_t kMaxMetafileRecords = 1'000'000;
// Object tables hold at most this many entries (the 16-bit counts of both formats).
inline constexpr std::size_t kMaxMetafileObjects = 65'536;

}  // namespace zelk
