#include "app/journal.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <new>
#include <vector>

#include "app/output.h"
#include "app/report.h"
#include "text/utf8.h"

namespace app {
namespace {

constexpr std::u16string_view kReport = u".report", kUndone = u".undone";

void AppendTwo(std::u16string& text, int64_t value) {
  text += static_cast<char16_t>(u'0' + value / 10 % 10);
  text += static_cast<char16_t>(u'0' + value % 10);
}

// The time now in UTC: "20261209-221503-042" (milliseconds last) for a
// file's name, and "2026-12-09 22:15:03 UTC" to read.
void Now(std::u16string& stamp, std::u16string& readable) {
  const int64_t milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count();
  const int64_t seconds = milliseconds / 1000;
  // Days to a civil date (H. Hinnant's algorithm).
  const int64_t days = seconds / 86400 + 719468, era = days / 146097;
  const int64_t ofEra = days - era * 146097;
  const int64_t yearOfEra = (ofEra - ofEra / 1460 + ofEra / 36524 - ofEra / 146096) / 365;
  const int64_t dayOfYear = ofEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shifted = (5 * dayOfYear + 2) / 153;
  const int64_t day = dayOfYear - (153 * shifted + 2) / 5 + 1;
  const int64_t month = shifted < 10 ? shifted + 3 : shifted - 9;
  const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  const int64_t clock = seconds % 86400;
  const int64_t parts[] = {year / 100, year % 100, month, day, clock / 3600, clock / 60 % 60,
                           clock % 60};
  stamp.clear();
  readable.clear();
  for (size_t i = 0; i < 7; ++i) {
    if (i == 4) stamp += u'-';
    AppendTwo(stamp, parts[i]);
    if (i == 2 || i == 3) readable += u'-';
    if (i == 4) readable += u' ';
    if (i == 5 || i == 6) readable += u':';
    AppendTwo(readable, parts[i]);
  }
  stamp += u'-';
  stamp += static_cast<char16_t>(u'0' + milliseconds % 1000 / 100);
  AppendTwo(stamp, milliseconds % 100);
  readable += u" UTC";
}

std::u16string_view ToolName(Tool tool) {
  return tool == Tool::kUndo ? u"snipdir-undo" : u"snipdir-fit";
}

// What the first line of a journal file says of its directory.
std::u16string Where(std::u16string_view directory, bool namesAreBytes) {
  std::u16string where = u" in ";
  AppendQuoted(where, directory, namesAreBytes);
  return where + u" at ";
}

// The first line of the file `path`.
std::u16string FirstLine(platform::Platform& system, const std::u16string& path) {
  std::string bytes;
  system.ReadFile(path.c_str(), [&](std::string_view piece) {
    bytes.append(piece.substr(0, piece.find('\n')));
    return piece.find('\n') == std::string_view::npos && bytes.size() < 64 * 1024
               ? platform::Go::kOn
               : platform::Go::kStop;
  });
  std::u16string line = text::DecodeName(bytes);
  if (!line.empty() && line.back() == u'\r') line.pop_back();
  return line;
}

bool EndsWith(std::u16string_view text, std::u16string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

}  // namespace

Journal::Journal(platform::Platform& system, Tool tool, std::u16string directory)
    : system_(system), tool_(tool), directory_(std::move(directory)) {}

Journal::~Journal() { Flush(); }

void Journal::Line(std::u16string_view line) {
  // From the run's first rename on: a run that renames nothing leaves no
  // file, and is never the last run taken back.
  try {
    if (failed_ || (file_ == nullptr && (line.empty() || line[0] != u'"' || !Open()))) return;
    // Lines are written a few at a time, in room set aside when the file
    // was made: a write for every rename would cost as much as the rename.
    // Where that room could not be had, or for a line longer than it, one
    // at a time.
    if (held_.capacity() < kHeld || line.size() >= kHeld) {
      Flush();
      if (failed_) return;
      if (const platform::ErrorCode error = file_->Add(line)) Failed(error);
      return;
    }
    if (held_.size() + 1 + line.size() > kHeld) Flush();
    if (failed_) return;
    if (held_.empty()) {
      heldSince_ = std::chrono::steady_clock::now();
    } else {
      held_ += u'\n';
    }
    held_ += line;
    if (std::chrono::steady_clock::now() - heldSince_ >= kHeldFor) Flush();
  } catch (const std::bad_alloc&) {
    // The line on standard output went out; the journal stops here.
    OutOfMemory();
  }
}

void Journal::Flush() {
  if (failed_ || file_ == nullptr || held_.empty()) return;
  try {
    const platform::ErrorCode error = file_->Add(held_);
    held_.clear();
    if (error != 0) Failed(error);
  } catch (const std::bad_alloc&) {
    OutOfMemory();
  }
}

void Journal::Failed(platform::ErrorCode error) {
  failed_ = true;
  file_.reset();
  system_.WriteLine(platform::Stream::Err,
                    WithNumber(u"WARNING: The journal cannot be written (", error,
                               u"): keep the report to undo the run."));
}

void Journal::OutOfMemory() {
  failed_ = true;
  file_.reset();
  // A line of its own that needs no memory.
  system_.WriteLine(platform::Stream::Err,
                    u"WARNING: The journal cannot be written (memory ran out): keep the report "
                    u"to undo the run.");
}

bool Journal::Open() {
  std::u16string folder, stamp, readable;
  platform::ErrorCode error = system_.JournalFolder(folder);
  if (error == 0) {
    Now(stamp, readable);
    // Named by the time, the program and the directory's last name.
    std::u16string_view last(directory_);
    while (!last.empty() && system_.traits().separators.find(last.back()) != std::u16string_view::npos) {
      last.remove_suffix(1);
    }
    last = last.substr(std::min(last.size(), last.find_last_of(system_.traits().separators) + 1));
    std::u16string name = u"-" + std::u16string(ToolName(tool_).substr(8)) + u"-";
    for (const char16_t unit : last.substr(0, 60)) {
      const bool plain = (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z') ||
                         (unit >= u'0' && unit <= u'9') || unit == u'.' || unit == u'-';
      name += plain ? unit : u'_';
    }
    // After the time, the run's number in its millisecond: the names sort
    // as the runs were made.
    std::vector<std::u16string> names;
    system_.FilesIn(folder, names);
    int number = 1;
    for (const std::u16string& other : names) number += other.compare(0, stamp.size(), stamp) == 0;
    for (int tries = 0; tries < 99 && number <= 99; ++tries, ++number) {
      std::u16string counted = stamp + u"-";
      AppendTwo(counted, number);
      path_ = folder + counted + name + std::u16string(kReport);
      error = system_.OpenLineFile(path_, false, file_);
      if (error != system_.traits().targetExists) break;
    }
  }
  if (file_ == nullptr) {
    path_.clear();
    Failed(error);
    return false;
  }
  std::u16string first(ToolName(tool_));
  first += u": the report of a run";
  first += Where(directory_, system_.traits().namesAreBytes);
  first += readable + u".";
  if ((error = file_->Add(first)) != 0) {
    Failed(error);
    return false;
  }
  try {
    held_.reserve(kHeld);
    file_->Reserve(kHeld);
  } catch (const std::bad_alloc&) {
    std::u16string().swap(held_);  // memory is short: a line at a time
  }
  Prune(folder);
  return true;
}

void Journal::Prune(const std::u16string& folder) {
  std::vector<std::u16string> names;
  if (system_.FilesIn(folder, names) != 0) return;
  std::sort(names.begin(), names.end());
  std::vector<std::u16string> runs;
  for (const std::u16string& name : names) {
    if (EndsWith(name, kReport)) runs.push_back(name);
  }
  if (runs.size() <= kKept) return;
  // The directory of each run, and the latest run of each directory.
  std::vector<std::u16string> where(runs.size());
  std::map<std::u16string, size_t> latest;
  for (size_t i = 0; i < runs.size(); ++i) {
    // " in "/the/directory/" at ": the time after it is each run's own.
    const std::u16string first = FirstLine(system_, folder + runs[i]);
    const size_t in = first.find(u" in \""), at = first.rfind(u"\" at ");
    where[i] = in < at && at != std::u16string::npos ? first.substr(in, at - in) : first;
    latest[where[i]] = i;
  }
  for (size_t i = 0; i + kKept < runs.size(); ++i) {
    const std::u16string undone = runs[i] + std::u16string(kUndone);
    const bool takenBack = std::binary_search(names.begin(), names.end(), undone);
    if (!takenBack && latest[where[i]] == i) continue;
    system_.RemoveFile(folder + runs[i]);
    if (takenBack) system_.RemoveFile(folder + undone);
  }
}

bool Journal::LastRun(platform::Platform& system, std::u16string_view directory,
                      std::u16string& path, std::u16string& first) {
  std::u16string folder;
  std::vector<std::u16string> names;
  if (system.JournalFolder(folder) != 0 || system.FilesIn(folder, names) != 0) return false;
  std::sort(names.begin(), names.end());
  const std::u16string where = Where(directory, system.traits().namesAreBytes);
  for (size_t i = names.size(); i-- > 0;) {
    if (!EndsWith(names[i], kReport) ||
        std::binary_search(names.begin(), names.end(), names[i] + std::u16string(kUndone))) {
      continue;
    }
    std::u16string candidate = folder + names[i];
    std::u16string line = FirstLine(system, candidate);
    // Runs of snipdir-fit: an undo is taken back by running it again.
    if (line.compare(0, 13, u"snipdir-fit: ") == 0 && line.find(where) != std::u16string::npos) {
      path = std::move(candidate);
      first = std::move(line);
      return true;
    }
  }
  return false;
}

void Journal::MarkUndone(platform::Platform& system, const std::u16string& path) {
  std::unique_ptr<platform::LineFile> marker;
  system.OpenLineFile(path.substr(0, path.size() - kReport.size()) + std::u16string(kReport) +
                          std::u16string(kUndone),
                      false, marker);
}

}  // namespace app
