// A saved report read as it arrives, piece by piece, keeping only what
// undo needs: the renames it lists and the lines that cannot be read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// No report line is longer, in UTF-16 units: a line of snipdir-fit names
// two paths below the directory, each written with up to six units a unit.
constexpr size_t kLongestReportLine = size_t{1} << 22;

// Reads a report: UTF-8 with or without a byte-order mark, or UTF-16LE with
// one; LF or CRLF; reports joined into one (each with its byte-order mark)
// as one. Blank lines and the messages of a run ("ERROR: ...", "WARNING:
// ...", and the lines the companions write on standard error, which begin
// "snipdir-fit: " or "snipdir-undo: ") name no rename and are passed over.
class ReportReader {
 public:
  struct Line {
    uint32_t number;  // from 1
    bool readable;    // false: the line does not follow the form of a rename
    std::u16string_view oldName, newName;
  };

  // Takes the next piece of the report. False once a line has turned out
  // longer than any report line (see tooLong): reading should stop there.
  bool Take(std::string_view piece);
  // Takes the end of the report: a last line without a line break counts.
  void End();

  // The number of the line that is too long, or 0.
  uint32_t tooLong() const { return tooLong_; }

  size_t size() const { return lines_.size(); }
  Line line(size_t index) const;

 private:
  enum class Encoding { kUnknown, kUtf8, kUtf16 };

  // Decides the encoding from the first bytes; false while too few came.
  bool Decide(bool atEnd);
  // Reads the complete lines in pending_, keeping the rest.
  bool Split();
  bool Finish(std::string_view bytes);

  struct Kept {
    uint32_t number;
    uint32_t offset;  // of the old name in text_, the new name right after
    uint32_t oldLength, newLength;
    bool readable;
  };

  Encoding encoding_ = Encoding::kUnknown;
  std::string pending_;  // bytes of the lines not read yet
  size_t scanned_ = 0;   // bytes of pending_ known to hold no line break
  uint32_t number_ = 0;  // lines read so far
  uint32_t tooLong_ = 0;
  std::u16string text_;  // the names of every rename kept, end to end
  std::vector<Kept> lines_;
  std::u16string line_, oldName_, newName_;
};

}  // namespace app
