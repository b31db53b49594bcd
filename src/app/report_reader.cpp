#include "app/report_reader.h"

#include "app/report.h"
#include "text/utf8.h"

namespace app {

bool ReportReader::Take(std::string_view piece) {
  if (tooLong_ != 0) return false;
  pending_ += piece;
  return !Decide(false) || Split();
}

void ReportReader::End() {
  if (tooLong_ != 0) return;
  Decide(true);
  if (Split() && !pending_.empty()) Finish(pending_);
  pending_.clear();
}

ReportReader::Line ReportReader::line(size_t index) const {
  const Kept& kept = lines_[index];
  const std::u16string_view text(text_);
  return {kept.number, kept.readable, text.substr(kept.offset, kept.oldLength),
          text.substr(kept.offset + kept.oldLength, kept.newLength)};
}

bool ReportReader::Decide(bool atEnd) {
  if (encoding_ != Encoding::kUnknown) return true;
  if (pending_.size() < 3 && !atEnd) return false;
  if (pending_.compare(0, 2, "\xFF\xFE") == 0) {
    encoding_ = Encoding::kUtf16;
    pending_.erase(0, 2);
  } else {
    encoding_ = Encoding::kUtf8;
    if (pending_.compare(0, 3, "\xEF\xBB\xBF") == 0) pending_.erase(0, 3);
  }
  return true;
}

bool ReportReader::Split() {
  const bool wide = encoding_ == Encoding::kUtf16;
  const size_t unit = wide ? 2 : 1;
  size_t start = 0;
  for (size_t at = scanned_; at + unit <= pending_.size(); at += unit) {
    if (pending_[at] != '\n' || (wide && pending_[at + 1] != '\0')) continue;
    if (!Finish(std::string_view(pending_).substr(start, at - start))) return false;
    start = at + unit;
  }
  pending_.erase(0, start);
  scanned_ = pending_.size() - pending_.size() % unit;
  // More bytes than the longest line can take in either encoding.
  if (pending_.size() > 3 * kLongestReportLine) {
    tooLong_ = number_ + 1;
    return false;
  }
  return true;
}

bool ReportReader::Finish(std::string_view bytes) {
  ++number_;
  if (encoding_ == Encoding::kUtf16) {
    line_.resize(bytes.size() / 2);
    for (size_t i = 0; i < line_.size(); ++i) {
      line_[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    }
  } else {
    text::DecodeName(bytes, line_);
  }
  if (line_.size() > kLongestReportLine) {
    tooLong_ = number_;
    return false;
  }
  std::u16string_view line(line_);
  if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
  // Spaces after the last quote, as a terminal copies them: a name's own
  // spaces are inside its quotes.
  while (!line.empty() && (line.back() == u' ' || line.back() == u'\t')) line.remove_suffix(1);
  // Reports joined into one keep the byte-order mark of each.
  if (!line.empty() && line.front() == u'\uFEFF') line.remove_prefix(1);
  // Messages name no rename: the run's errors, and what the programs say of
  // the run on standard error (a report pasted from a terminal, the first
  // line of a journal file).
  if (line.empty() || line.substr(0, 7) == u"ERROR: " || line.substr(0, 9) == u"WARNING: " ||
      line.substr(0, 13) == u"snipdir-fit: " || line.substr(0, 14) == u"snipdir-undo: ") {
    return true;
  }
  const bool readable = ParseRename(line, oldName_, newName_);
  Kept kept{number_, static_cast<uint32_t>(text_.size()), 0, 0, readable};
  if (readable) {
    kept.oldLength = static_cast<uint32_t>(oldName_.size());
    kept.newLength = static_cast<uint32_t>(newName_.size());
    text_ += oldName_;
    text_ += newName_;
  }
  lines_.push_back(kept);
  return true;
}

}  // namespace app
