#include "app/command_line.h"

#include <algorithm>
#include <initializer_list>
#include <limits>

#include "app/report.h"
#include "app/version.h"

namespace app {
namespace {

#define SNIPDIR_BANNER(NAME) \
  u"-= " NAME u" - <" SNIPDIR_CONTACT u"> " SNIPDIR_RELEASE_DATE u" =-"

constexpr std::u16string_view kSnipdirUsage[] = {
    SNIPDIR_BANNER(u"SNIPDIR"),
    u"Cuts all filenames in a directory to specified length.",
    u"Usage:",
    u"  snipdir <directory-path> [max-length,default=12]",
};
constexpr std::u16string_view kPreviewUsage[] = {
    SNIPDIR_BANNER(u"SNIPDIR-PREVIEW"),
    u"Shows how snipdir would cut the filenames in a directory; changes nothing.",
    u"Usage:",
    u"  snipdir-preview <directory-path> [max-length,default=12]",
};
constexpr std::u16string_view kUndoUsage[] = {
    SNIPDIR_BANNER(u"SNIPDIR-UNDO"),
    u"Renames the entries of a snipdir report back to their old names.",
    u"Usage:",
    u"  snipdir-undo <directory-path> <report-file|->",
};

constexpr std::u16string_view kFitUsage[] = {
    SNIPDIR_BANNER(u"SNIPDIR-FIT"),
    u"Cuts the fewest names of a tree the least, so that every path fits a length.",
    u"Usage:",
    u"  snipdir-fit [--preview] [--partial] [--as PATH] [--floor N] [--headroom N] "
    u"[--keep PATTERN]... <directory-path> <budget|destination>",
};

#undef SNIPDIR_BANNER

// After the usage lines of --help: the programs.
constexpr std::u16string_view kCompanions[] = {
    u"",
    u"The programs:",
    u"  snipdir <directory-path> [max-length]          cuts the over-long names",
    u"  snipdir-preview <directory-path> [max-length]  prints what snipdir would do; changes nothing",
    u"  snipdir-undo <directory-path> <report-file|->  renames the entries of a report back",
    u"  snipdir-fit [options] <directory-path> <budget|destination>",
    u"      makes every path and name of a tree fit a number of characters or a",
    u"      destination, or changes nothing where some path cannot. Destinations:",
    u"      windows     paths 259 (directories 247), names 255, Windows' characters",
    u"      onedrive,   paths 400 below the library, names 255, Microsoft's names;",
    u"      sharepoint  with --as on Windows, full paths on the PC 259 (247)",
    u"      dropbox     paths 259, names 255, Windows' characters",
    u"      linux       names 255 bytes of UTF-8, paths 4095",
    u"      ecryptfs    names 143 bytes of UTF-8, paths 4095",
    u"      joliet      names 64, paths 240 bytes in the image (2 a character)",
    u"      macos       names 255 once decomposed (NFD), paths 1023 bytes",
    u"Keep the report to undo a run: snipdir photos 16 > photos.report",
    u"--help (-h, -?) prints this text, --version (-V) the version. See: man snipdir",
};

constexpr std::u16string_view kLicence =
    u"MIT License: free to use, copy, change and share, without warranty.";

template <size_t N>
void Write(platform::Platform& system, platform::Stream stream,
           const std::u16string_view (&lines)[N]) {
  for (std::u16string_view line : lines) system.WriteLine(stream, line);
}

const std::u16string_view (&UsageOf(Tool tool))[4] {
  switch (tool) {
    case Tool::kPreview: return kPreviewUsage;
    case Tool::kUndo: return kUndoUsage;
    case Tool::kFit: return kFitUsage;
    case Tool::kSnipdir: break;
  }
  return kSnipdirUsage;
}

bool BackslashPaths(platform::Platform& system) {
  return system.traits().separator == u'\\';
}

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

uint32_t ParseCount(std::u16string_view text, uint32_t highest) {
  if (text.empty() || text.size() > 10) return 0;
  uint64_t value = 0;
  for (const char16_t unit : text) {
    if (unit < u'0' || unit > u'9') return 0;
    value = value * 10 + (unit - u'0');
  }
  return value <= highest ? static_cast<uint32_t>(value) : 0;
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
    } else if (tool == Tool::kFit && (arg == u"--as" || arg == u"--floor" ||
                                      arg == u"--headroom" || arg == u"--keep")) {
      if (!hasValue) {
        read.request = Request::kWrong;
        read.wrong = u"ERROR: " + arg + u" needs a value.";
        return read;
      }
      const std::u16string& value = args[++i];
      if (arg == u"--keep") {
        read.keeps.push_back(value);
      } else if (arg == u"--headroom") {
        read.hasHeadroom = true;
        read.headroom = value;
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

int ReadFitCommand(const Arguments& arguments, platform::Platform& system,
                   FitCommand& command) {
  if (arguments.operands.size() != 2) return Usage(Tool::kFit, system);
  command.preview = arguments.preview;
  command.partial = arguments.partial;
  command.hasAs = arguments.hasAs;
  for (const std::u16string& keep : arguments.keeps) {
    // A pattern names one entry; only a "/" at its end, for a directory.
    const size_t slash = keep.find(u'/');
    if (keep.empty() || keep == u"/" || (slash != std::u16string::npos && slash + 1 != keep.size())) {
      system.WriteLine(platform::Stream::Out,
                       u"ERROR: A --keep pattern names one entry (and ends in / for a directory "
                       u"and all below it): " + keep);
      return 1;
    }
  }
  command.keeps = arguments.keeps;
  command.as = arguments.as;
  if (arguments.hasFloor) {
    command.floor = ParseCount(arguments.floor, kHighestMaxLength);
    if (command.floor < kLowestMaxLength) {
      system.WriteLine(platform::Stream::Out, u"ERROR: The floor must be between 8 and 256.");
      return 1;
    }
  }
  command.directory = arguments.operands[0];
  const std::u16string& budget = arguments.operands[1];
  command.destination = fit::FindDestination(budget);
  if (command.destination != nullptr) {
    command.fileBudget = command.destination->fileBudget;
    command.directoryBudget = command.destination->directoryBudget;
  } else {
    // Up to the longest path Windows has.
    command.fileBudget = command.directoryBudget = ParseCount(budget, 32767);
  }
  if (command.fileBudget == 0) {
    std::u16string line = u"ERROR: The budget must be a number from 1 to 32767 or a destination:";
    size_t count = 0;
    const fit::Destination* destinations = fit::Destinations(count);
    for (size_t i = 0; i < count; ++i) {
      line += i == 0 ? u" " : u", ";
      line += destinations[i].name;
    }
    system.WriteLine(platform::Stream::Out, line + u".");
    return 1;
  }
  if (arguments.hasHeadroom) {
    command.headroom = arguments.headroom == u"0" ? 0 : ParseCount(arguments.headroom, 32767);
    if (command.headroom == 0 && arguments.headroom != u"0") {
      system.WriteLine(platform::Stream::Out, u"ERROR: The headroom must be a number.");
      return 1;
    }
  }
  // Every limit, less the headroom, must still hold a name at the floor.
  const uint32_t names =
      command.destination != nullptr ? command.destination->nameLimit : UINT32_MAX;
  const uint32_t least = std::min({command.directoryBudget, command.fileBudget, names});
  if (uint64_t{command.headroom} + command.floor > least) {
    std::u16string line = u"ERROR: The floor and the headroom must fit in every limit (";
    AppendDecimal(line, static_cast<platform::ErrorCode>(least));
    system.WriteLine(platform::Stream::Out, line + u").");
    return 1;
  }
  return -1;
}

int Usage(Tool tool, platform::Platform& system) {
  Write(system, platform::Stream::Err, UsageOf(tool));
  return 1;
}

int Help(Tool tool, platform::Platform& system) {
  Write(system, platform::Stream::Out, UsageOf(tool));
  Write(system, platform::Stream::Out, kCompanions);
  return 0;
}

int Version(Tool tool, platform::Platform& system) {
  std::u16string line = tool == Tool::kSnipdir   ? u"snipdir "
                        : tool == Tool::kPreview ? u"snipdir-preview "
                        : tool == Tool::kUndo    ? u"snipdir-undo "
                                                 : u"snipdir-fit ";
  line += u"" SNIPDIR_VERSION;
  system.WriteLine(platform::Stream::Out, line);
  system.WriteLine(platform::Stream::Out, kLicence);
  return 0;
}

}  // namespace app
