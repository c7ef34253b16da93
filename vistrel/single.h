// Single precision, as the plotting unit keeps its axis values: an extended result rounded once,
// where a float receives it.
#pragma once

namespace vistrel {

inline float Single(long double v) {
    return static_cast<float>(v);
}

}  // namespace vistrel
