#include "app/output.h"

#include "app/journal.h"
#include "app/report.h"

namespace app {

// A message that carries a number: `before`, the number, `after`.
std::u16string WithNumber(std::u16string_view before, platform::ErrorCode number,
                          std::u16string_view after) {
  std::u16string message(before);
  AppendDecimal(message, number);
  return message += after;
}

bool Output::Line(std::u16string_view line) {
  if (failed_) return false;
  if (!gathering_) return Write(line);
  if (!gathered_.empty()) gathered_ += u'\n';
  gathered_ += line;
  return gathered_.size() < kGathered || Flush();
}

bool Output::Flush() {
  const bool written = failed_ || gathered_.empty() ? !failed_ : Write(gathered_);
  gathered_.clear();
  if (journal_ != nullptr) journal_->Flush();
  return written;
}

bool Output::Write(std::u16string_view line) {
  const platform::ErrorCode error = system_.WriteLine(platform::Stream::Out, line);
  if (error == 0) {
    if (journal_ != nullptr) journal_->Line(line);
    return true;
  }
  failed_ = true;
  if (gathering_ && error == system_.traits().closedPipe) {
    closed_ = true;
    return false;
  }
  notice_ = u"ERROR: Cannot write the report (";
  AppendDecimal(notice_, error);
  notice_ += u"): ";
  // Of lines written at once, the first: one notice for one report.
  notice_ += line.substr(0, line.find(u'\n'));
  system_.WriteLine(platform::Stream::Err, notice_);  // nowhere left if this fails too
  return false;
}

}  // namespace app
