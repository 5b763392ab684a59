#include "base/rounding.hpp"

#include <climits>
#include <cmath>

namespace tlvx {

int32_t round_half_even(double v) {
    if (std::isnan(v)) return 0;
    double r = std::nearbyint(v);  // the default rounding mode: halves to even
    if (r >= 2147483647.0) return INT32_MAX;
    if (r <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(r);
}

}  // namespace tlvx
