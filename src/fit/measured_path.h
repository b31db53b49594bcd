// A path as a system takes it, for measuring: what counts toward its
// length once it is in use.
#pragma once

#include <string>
#include <string_view>

namespace fit {

// `path` written plainly: without the long-path prefix ("\\?\", and
// "\\?\UNC\" standing for the "\\" of a share), with "." and ".."
// components resolved as text (".." never climbs above the root, a drive
// or a share), repeated separators as one, and no separator at its end, so
// that the separator before an entry's name counts once. `separators` are
// the units that separate components; the result joins them with the
// first.
std::u16string MeasuredPath(std::u16string_view path, std::u16string_view separators);

}  // namespace fit
