// The line on a terminal that shows how far a long run has come, written
// over as it goes and cleared at the end.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace app {

// "6,761": a count with its thousands set apart.
std::u16string Grouped(uint64_t count);

class Progress {
 public:
  explicit Progress(platform::Platform& system);
  ~Progress() { Clear(); }

  // Shows the counts, once the run has taken a second, at most a few times
  // a second, and only on a terminal.
  void Show(uint64_t listed, uint64_t renamed);
  void Clear();

 private:
  using Clock = std::chrono::steady_clock;

  platform::Platform& system_;
  const bool shown_;
  const Clock::time_point start_ = Clock::now();
  Clock::time_point last_;
  size_t written_ = 0;  // units of the line on the screen
};

}  // namespace app
