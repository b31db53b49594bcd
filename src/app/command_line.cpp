#include "app/command_line.h"

#include <algorithm>
#include <initializer_list>
#include <limits>

#include "app/help.h"
#include "app/report.h"

namespace app {
namespace {

// True for an argument that asks for something where no entry has its name.
bool Asks(const std::u16string& argument, std::initializer_list<std::u16string_view> options,
          platform::Platform& system) {
  for (std::u16string_view option : options) {
    if (argument == option) return system.KindOf(argument.c_str()) == platform::Kind::kNothing;
  }
  return false;
}

// The Windows command prompt's "C:\My Photos\" arrives as C:\My Photos"
// with the rest of the line behind the quote.
void MendCmdQuote(std::vector<std::u16string>& args) {
  if (args.size() < 2) return;
  const size_t quote = args[1].find(u'"');
  if (quote == std::u16string::npos) return;
  const std::u16string rest = args[1].substr(quote + 1);
  args[1].resize(quote);
  args[1] += u'\\';
  auto at = args.begin() + 2;
  for (size_t start = 0; start < rest.size();) {
    const size_t end = std::min(rest.find(u' ', start), rest.size());
    if (end > start) at = args.insert(at, rest.substr(start, end - start)) + 1;
    start = end + 1;
  }
}

bool IsSpace(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r');
}

}  // namespace

bool BackslashPaths(platform::Platform& system) { return system.traits().separator == u'\\'; }

uint32_t ParseLimit(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  int64_t value = 0;
  constexpr int64_t kCeiling = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    if (value > kCeiling) value = kCeiling;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) {
    value = std::numeric_limits<int32_t>::max();
  }
  return static_cast<uint32_t>(static_cast<int32_t>(value));
}

Arguments ReadArguments(Tool tool, std::vector<std::u16string> args,
                        platform::Platform& system) {
  Arguments read;
  if (args.size() >= 2) {
    if (Asks(args[1], {u"--help", u"-h", u"-?"}, system) ||
        (BackslashPaths(system) && Asks(args[1], {u"/?"}, system))) {
      read.request = Request::kHelp;
      return read;
    }
    if (Asks(args[1], {u"--version", u"-V"}, system)) {
      read.request = Request::kVersion;
      return read;
    }
    if (BackslashPaths(system)) MendCmdQuote(args);
  }
  // snipdir and its preview take no options: their arguments are a path
  // and a limit, whatever they look like.
  const bool takesOptions = tool == Tool::kFit || tool == Tool::kUndo;
  bool options = true;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::u16string& arg = args[i];
    if (options && arg == u"--" && (takesOptions || i == 1) &&
        system.KindOf(arg.c_str()) == platform::Kind::kNothing) {
      options = false;
      continue;
    }
    const bool isOption = options && takesOptions && arg.size() > 1 && arg[0] == u'-' &&
                          system.KindOf(arg.c_str()) == platform::Kind::kNothing;
    if (!isOption) {
      read.operands.push_back(arg);
      continue;
    }
    const bool hasValue = i + 1 < args.size();
    if (tool == Tool::kFit && (arg == u"--preview" || arg == u"--partial")) {
      (arg == u"--preview" ? read.preview : read.partial) = true;
    } else if (tool == Tool::kUndo && arg == u"--last") {
      read.last = true;
    } else if ((tool == Tool::kFit && (arg == u"--as" || arg == u"--floor" ||
                                       arg == u"--headroom" || arg == u"--keep" ||
                                       arg == u"--jobs")) ||
               (tool == Tool::kUndo && arg == u"--jobs")) {
      if (!hasValue) {
        read.request = Request::kWrong;
        read.wrong = u"ERROR: " + arg + u" needs " +
                     (arg == u"--as" ? u"a path." : arg == u"--keep" ? u"a pattern." : u"a number.");
        return read;
      }
      const std::u16string& value = args[++i];
      if (arg == u"--keep") {
        read.keeps.push_back(value);
      } else if (arg == u"--headroom" || arg == u"--jobs") {
        (arg == u"--jobs" ? read.hasJobs : read.hasHeadroom) = true;
        (arg == u"--jobs" ? read.jobs : read.headroom) = value;
      } else {
        (arg == u"--as" ? read.hasAs : read.hasFloor) = true;
        (arg == u"--as" ? read.as : read.floor) = value;
      }
    } else {
      read.request = Request::kWrong;
      read.wrong = u"ERROR: Unknown option " + arg + u".";
      return read;
    }
  }
  return read;
}

namespace {

// The number of edits that make `a` into `b` (Levenshtein).
size_t Edits(std::u16string_view a, std::u16string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// Sets what is wrong with the command; returns false.
bool Refuse(CommandError& error, std::u16string_view line, bool usage = false) {
  error = {std::u16string(line), usage};
  return false;
}

}  // namespace

bool ReadNumber(std::u16string_view text, uint32_t lowest, uint32_t highest, uint32_t& value) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t number = 0;
  for (const char16_t unit : text) {
    if (unit < u'0' || unit > u'9') return false;
    number = number * 10 + (unit - u'0');
  }
  if (number < lowest || number > highest) return false;
  value = static_cast<uint32_t>(number);
  return true;
}

bool ReadFitCommand(const Arguments& arguments, FitCommand& command, CommandError& error) {
  const std::vector<std::u16string>& operands = arguments.operands;
  const auto isBudget = [](const std::u16string& text) {
    uint32_t number;
    return fit::FindDestination(text) != nullptr || ReadNumber(text, 1, 32767, number);
  };
  if (operands.empty()) {
    return Refuse(error, u"ERROR: The directory and the destination (a number or a name) are "
                         u"missing.", true);
  }
  if (operands.size() == 1) {
    if (!isBudget(operands[0])) {
      return Refuse(error, u"ERROR: The destination (a number or a name) is missing.", true);
    }
    return Refuse(error, arguments.hasAs ? u"ERROR: The directory is missing (--as took " +
                                               arguments.as + u" as the place the tree is going)."
                                         : u"ERROR: The directory is missing.",
                 true);
  }
  if (operands.size() > 2) return Refuse(error, u"ERROR: Too many arguments: " + operands[2] + u".", true);
  command.preview = arguments.preview;
  command.partial = arguments.partial;
  command.hasAs = arguments.hasAs;
  for (const std::u16string& keep : arguments.keeps) {
    // A pattern names one entry; only a "/" at its end, for a directory.
    const size_t slash = keep.find(u'/');
    if (keep.empty() || keep == u"/" || (slash != std::u16string::npos && slash + 1 != keep.size())) {
      std::u16string line = u"ERROR: --keep " + keep +
                            u": a pattern matches one name, not a path; a / at its end keeps a "
                            u"directory and all below it";
      if (slash != 0 && slash != std::u16string::npos) {
        line += u" (--keep " + keep.substr(0, slash + 1) + u")";
      }
      return Refuse(error, line + u".");
    }
  }
  command.keeps = arguments.keeps;
  command.as = arguments.as;
  if (arguments.hasFloor &&
      !ReadNumber(arguments.floor, kLowestMaxLength, kHighestMaxLength, command.floor)) {
    return Refuse(error, u"ERROR: The floor must be a number from 8 to 256.");
  }
  if (arguments.hasHeadroom && !ReadNumber(arguments.headroom, 0, 32767, command.headroom)) {
    return Refuse(error, u"ERROR: The headroom must be a number from 0 to 32767.");
  }
  if (arguments.hasJobs && !ReadNumber(arguments.jobs, 1, kMostJobs, command.jobs)) {
    return Refuse(error, u"ERROR: --jobs must be a number from 1 to 64.");
  }
  command.directory = operands[0];
  const std::u16string& budget = operands[1];
  command.destination = fit::FindDestination(budget);
  size_t count = 0;
  const fit::Destination* destinations = fit::Destinations(count);
  // A number: up to the longest path Windows has.
  if (command.destination == nullptr && !ReadNumber(budget, 1, 32767, command.budget)) {
    for (size_t i = 0; i < count; ++i) {
      if (Edits(budget, destinations[i].name) <= 2) {
        return Refuse(error, u"ERROR: Unknown destination " + budget + u" (did you mean " +
                                 std::u16string(destinations[i].name) + u"?).");
      }
    }
    std::u16string line = u"ERROR: The budget must be a number from 1 to 32767 or a destination:";
    for (size_t i = 0; i < count; ++i) {
      line += i == 0 ? u" " : u", ";
      line += destinations[i].name;
    }
    return Refuse(error, line + u".");
  }
  return true;
}

}  // namespace app
