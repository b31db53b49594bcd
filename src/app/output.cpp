#include "app/output.h"

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
  const platform::ErrorCode error = system_.WriteLine(platform::Stream::Out, line);
  if (error == 0) return true;
  failed_ = true;
  notice_ = u"ERROR: Cannot write the report (";
  AppendDecimal(notice_, error);
  notice_ += u"): ";
  notice_ += line;
  system_.WriteLine(platform::Stream::Err, notice_);  // nowhere left if this fails too
  return false;
}

}  // namespace app
