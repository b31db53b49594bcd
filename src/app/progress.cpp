#include "app/progress.h"

#include <algorithm>

namespace app {

std::u16string Grouped(uint64_t count) {
  std::u16string digits;
  do {
    if (digits.size() % 4 == 3) digits += u',';
    digits += static_cast<char16_t>(u'0' + count % 10);
    count /= 10;
  } while (count != 0);
  std::reverse(digits.begin(), digits.end());
  return digits;
}

Progress::Progress(platform::Platform& system)
    : system_(system), shown_(system.ShowsProgress()), last_(start_) {}

void Progress::Show(uint64_t listed, uint64_t renamed) {
  if (!shown_) return;
  const Clock::time_point now = Clock::now();
  if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(200)) {
    return;
  }
  last_ = now;
  std::u16string line = u"\rsnipdir-fit: " + Grouped(listed) + u" entries listed";
  if (renamed > 0) line += u", " + Grouped(renamed) + u" renamed";
  const size_t length = line.size() - 1;
  if (length < written_) line.append(written_ - length, u' ');
  written_ = length;
  system_.WriteProgress(line);
}

void Progress::Clear() {
  if (written_ == 0) return;
  system_.WriteProgress(u"\r" + std::u16string(written_, u' ') + u"\r");
  written_ = 0;
}

}  // namespace app
