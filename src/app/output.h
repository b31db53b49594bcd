// The lines of a run on standard output, and what becomes of a run whose
// report cannot be written.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace app {

// A message that carries a number: `before`, the number, `after`.
std::u16string WithNumber(std::u16string_view before, platform::ErrorCode number,
                          std::u16string_view after = u"");

// Writes the lines of a run and remembers whether the report on standard
// output could not be written.
class Output {
 public:
  explicit Output(platform::Platform& system) : system_(system) {
    notice_.reserve(platform::Platform::kLineReserve);
  }

  // Writes `line` to standard output. When it cannot be written, standard
  // error says so, with the line; false then and for every later line.
  bool Line(std::u16string_view line);

  bool failed() const { return failed_; }

 private:
  platform::Platform& system_;
  bool failed_ = false;
  std::u16string notice_;
};

}  // namespace app
