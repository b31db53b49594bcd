#include "app/help.h"

#include <string>
#include <string_view>

#include "app/version.h"
#include "fit/destinations.h"

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
    u"Renames the entries of a snipdir or snipdir-fit report back to their old names.",
    u"Usage:",
    u"  snipdir-undo <directory-path> <report-file|->   or   snipdir-undo --last <directory-path>",
};
constexpr std::u16string_view kFitUsage[] = {
    SNIPDIR_BANNER(u"SNIPDIR-FIT"),
    u"Cuts the fewest names of a tree the least, so that every path fits a length.",
    u"Usage:",
    u"  snipdir-fit [--preview] [--partial] [--as PATH] [--floor N] [--headroom N] "
    u"[--keep PATTERN]... [--jobs N] <directory-path> <budget|destination>",
};

#undef SNIPDIR_BANNER

// After the usage lines of snipdir's and snipdir-preview's --help.
constexpr std::u16string_view kPrograms[] = {
    u"",
    u"The programs:",
    u"  snipdir <directory-path> [max-length]          cuts the over-long names",
    u"  snipdir-preview <directory-path> [max-length]  prints what snipdir would do; changes nothing",
    u"  snipdir-undo <directory-path> <report-file|->  renames the entries of a report back",
    u"  snipdir-fit [options] <directory-path> <budget|destination>",
    u"      makes every path and name of a tree fit a length or a destination",
    u"      (snipdir-fit --help says how)",
    u"Keep the report to undo a run: snipdir photos 16 > photos.report",
    u"--help (-h, -?) prints this text, --version (-V) the version. See: man snipdir",
};

constexpr std::u16string_view kFitOptions[] = {
    u"",
    u"Options:",
    u"  --preview         print what the run would print, and change nothing",
    u"  --partial         where some path cannot fit, fit the rest all the same",
    u"  --as PATH         measure paths where the tree is going (a folder on Windows,",
    u"                    such as 'C:\\Users\\ana\\OneDrive - Contoso'), not where it is",
    u"  --floor N         cut no name shorter than N (8 to 256; 12)",
    u"  --headroom N      keep N of every limit free for the names sync programs add",
    u"  --keep PATTERN    never cut a name that matches (*, ?, [...]; a / at the end",
    u"                    keeps a directory and all below it: --keep 'node_modules/')",
    u"  --jobs N          N calls at once (1 to 64; 32 on a file share, 1 elsewhere):",
    u"                    the same lines, sooner where each call waits",
    u"",
    u"The budget is a number of UTF-16 units (characters, a pair two) for every",
    u"full path, or a destination, which counts its own way and mends the names it",
    u"refuses (259/247: a file's path, a directory's):",
};

constexpr std::u16string_view kFitEnd[] = {
    u"",
    u"Every run that renames keeps its report in a journal of its own too.",
    u"  snipdir-fit --preview --as 'C:\\Users\\ana\\OneDrive - Contoso' project onedrive",
    u"  snipdir-fit --as 'C:\\Users\\ana\\OneDrive - Contoso' project onedrive > fit.report",
    u"  snipdir-undo --last project",
    u"--help (-h, -?) prints this text, --version (-V) the version. See: man snipdir-fit",
};

constexpr std::u16string_view kUndoOptions[] = {
    u"",
    u"Options:",
    u"  --last            take back the latest run in the directory that the journal",
    u"                    holds and that was not taken back yet",
    u"  --jobs N          N renames at once (1 to 64; 32 on a file share, 1",
    u"                    elsewhere): the same lines, sooner where each call waits",
    u"A report is read from a file, or from standard input with -: UTF-8 or UTF-16",
    u"with a byte-order mark, as the programs or PowerShell wrote it. Each line is",
    u"renamed back in the directory it names, last first; nothing is ever replaced.",
    u"  snipdir photos 16 > photos.report",
    u"  snipdir-undo photos photos.report",
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

std::u16string Number(uint32_t value) {
  std::u16string text;
  do {
    text.insert(text.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return text;
}

std::u16string_view UnitWords(naming::Unit unit) {
  switch (unit) {
    case naming::Unit::kUtf8: return u"bytes";
    case naming::Unit::kNfdUtf16: return u"units decomposed";
    case naming::Unit::kNfdUtf8: return u"bytes decomposed";
    case naming::Unit::kUcs2Bytes: return u"bytes (2 a character, 1 a name)";
    case naming::Unit::kUtf16: break;
  }
  return u"units";
}

// One line for each destination, made from its row of the table.
void WriteDestinations(platform::Platform& system) {
  size_t count = 0;
  const fit::Destination* destinations = fit::Destinations(count);
  for (size_t i = 0; i < count; ++i) {
    const fit::Destination& destination = destinations[i];
    std::u16string line = u"  " + std::u16string(destination.name);
    line.resize(14, u' ');
    line += u"names " + Number(destination.nameLimit) + u" " +
            std::u16string(UnitWords(destination.nameUnit)) + u"; paths " +
            Number(destination.fileBudget);
    if (destination.directoryBudget != destination.fileBudget) {
      line += u"/" + Number(destination.directoryBudget);
    }
    if (destination.fromTop) line += u" below the top";
    if (destination.pathUnit != destination.nameUnit) {
      line += u" in " + std::u16string(UnitWords(destination.pathUnit));
    }
    if (destination.localFileBudget != 0) {
      line += u" (with --as on Windows, " + Number(destination.localFileBudget) + u"/" +
              Number(destination.localDirectoryBudget) + u" in full)";
    }
    system.WriteLine(platform::Stream::Out, line);
  }
}

}  // namespace

int Usage(Tool tool, platform::Platform& system) {
  Write(system, platform::Stream::Err, UsageOf(tool));
  return 1;
}

int Help(Tool tool, platform::Platform& system) {
  Write(system, platform::Stream::Out, UsageOf(tool));
  switch (tool) {
    case Tool::kFit:
      Write(system, platform::Stream::Out, kFitOptions);
      WriteDestinations(system);
      Write(system, platform::Stream::Out, kFitEnd);
      break;
    case Tool::kUndo:
      Write(system, platform::Stream::Out, kUndoOptions);
      break;
    case Tool::kSnipdir:
    case Tool::kPreview:
      Write(system, platform::Stream::Out, kPrograms);
      break;
  }
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
