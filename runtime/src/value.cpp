#include "rt/value.h"

#include <cmath>

namespace rt {

Long truncate_to_long(const Double& d) {
  if (d.is_null()) return null;
  double whole = std::trunc(*d);
  if (!std::isfinite(whole) || whole >= 4294967296.0 || whole < -2147483648.0) raise_error(kErrBadArgument);
  return detail::wrap<std::int32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(whole)));
}

Int truncate_to_int(const Double& d) {
  if (d.is_null()) return null;
  double whole = std::trunc(*d);
  if (!std::isfinite(whole) || whole >= 4294967296.0 || whole < -2147483648.0) raise_error(kErrBadArgument);
  return detail::wrap<std::int16_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(whole)));
}

}  // namespace rt
