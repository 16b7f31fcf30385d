#pragma once

#include <cstddef>

namespace vux {

inline bool skipsBelow(const char*, std::size_t) { return false; }

}  // namespace vux
