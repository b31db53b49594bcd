// The lines of a run on standard output, and what becomes of a run whose
// report cannot be written.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace app {

class Journal;

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

  // From now on, gathers lines and writes many at once: for a preview,
  // whose lines report no change that could be lost with them.
  void Gather() { gathering_ = true; }
  // Writes what was gathered, and what the journal holds; false when the
  // output cannot be written.
  bool Flush();

  bool failed() const { return failed_; }
  // True when lines gathered could not be written because their reader
  // went away (a preview into `head`): then nothing more is said.
  bool closed() const { return closed_; }

  // While the guard it returns lives, every line written is also added to
  // `journal` (a run's journal goes before its output, even when memory
  // runs out).
  class Keeping {
   public:
    explicit Keeping(Output& output) : output_(output) {}
    Keeping(const Keeping&) = delete;
    Keeping& operator=(const Keeping&) = delete;
    ~Keeping() { output_.journal_ = nullptr; }

   private:
    Output& output_;
  };
  [[nodiscard]] Keeping KeepIn(Journal* journal) {
    journal_ = journal;
    return Keeping(*this);
  }

 private:
  // Units written at once: within the room the platform keeps for a line.
  static constexpr size_t kGathered = platform::Platform::kLineReserve / 2;

  bool Write(std::u16string_view text);

  platform::Platform& system_;
  bool failed_ = false;
  bool gathering_ = false;
  bool closed_ = false;
  Journal* journal_ = nullptr;
  std::u16string gathered_;  // lines, each but the last ended by a line feed
  std::u16string notice_;
};

}  // namespace app
