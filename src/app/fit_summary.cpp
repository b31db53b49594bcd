#include "app/fit_summary.h"

#include "app/progress.h"
#include "app/report.h"

namespace app {
namespace {

std::u16string Count(uint64_t count, std::u16string_view one, std::u16string_view many) {
  return Grouped(count) + std::u16string(count == 1 ? one : many);
}

}  // namespace

std::u16string ShellQuoted(std::u16string_view text, bool backslashPaths) {
  bool plain = !text.empty();
  for (const char16_t unit : text) {
    const bool safe = (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z') ||
                      (unit >= u'0' && unit <= u'9') || std::u16string_view(u"_-./:=@%+,").find(unit) != std::u16string_view::npos ||
                      (backslashPaths && unit == u'\\');
    plain = plain && safe;
  }
  if (plain) return std::u16string(text);
  if (backslashPaths) return u"\"" + std::u16string(text) + u"\"";
  std::u16string quoted = u"'";
  for (const char16_t unit : text) {
    if (unit == u'\'') {
      quoted += u"'\\''";
    } else {
      quoted += unit;
    }
  }
  return quoted + u"'";
}


std::u16string SummaryLine(const FitFigures& figures) {
  const bool preview = figures.preview;
  std::u16string problems;
  const auto add = [&](uint64_t count, std::u16string_view one, std::u16string_view many) {
    if (count == 0) return;
    if (!problems.empty()) problems += u", ";
    problems += Count(count, one, many);
  };
  add(figures.untaken, u" name cannot be made one the destination takes",
      u" names cannot be made ones the destination takes");
  add(figures.unseen, u" directory could not be listed", u" directories could not be listed");
  add(figures.failed, preview ? u" rename would fail" : u" rename failed",
      preview ? u" renames would fail" : u" renames failed");
  std::u16string line = u"snipdir-fit: ";
  if (figures.refused) {
    std::u16string unfit;
    if (figures.unfit != 0) {
      unfit = Count(figures.unfit, u" path cannot fit", u" paths cannot fit") + u" (the worst " +
              Grouped(figures.worstOver) + u" over " + Grouped(figures.worstBudget) + u")";
    }
    if (!unfit.empty() && !problems.empty()) unfit += u", ";
    return line + unfit + problems + u"; nothing " + (preview ? u"would be " : u"") +
           u"renamed (--partial fits the rest).";
  }
  if (figures.renamed == 0 && problems.empty() && figures.unfit == 0) {
    return line + u"every path already fits (" +
           Count(figures.entries, u" entry", u" entries") + u"; the longest is " +
           Grouped(figures.tightestLength) + u" of " + Grouped(figures.tightestBudget) + u").";
  }
  line += Grouped(figures.renamed) + u" of " + Count(figures.entries, u" entry ", u" entries ") +
          (preview ? u"would be renamed; " : u"renamed; ");
  if (figures.unfit != 0) {
    // Paths over their budget afterwards: how many, and how far the worst.
    line += Count(figures.unfit, u" path ", u" paths ") +
            (preview ? u"would still not fit"
                     : figures.unfit == 1 ? u"still does not fit" : u"still do not fit") +
            u" (the worst " +
            Grouped(figures.worstOver) + u" over " + Grouped(figures.worstBudget) + u")";
  } else {
    line += u"the longest path " + std::u16string(preview ? u"would be " : u"is now ") +
            Grouped(figures.tightestLength) + u" of " + Grouped(figures.tightestBudget);
  }
  return line + (problems.empty() ? u"." : u"; " + problems + u".");
}

std::u16string BreaksLine(const fit::Breaks& breaks, bool preview, bool backslashPaths) {
  std::u16string line = preview ? u"snipdir-fit: these renames would break code:"
                                 : u"snipdir-fit: these renames break code:";
  bool first = true;
  const auto add = [&](uint64_t count, std::u16string_view one, std::u16string_view many,
                       const std::vector<std::u16string>& keeps) {
    if (count == 0) return;
    line += first ? u" " : u", ";
    first = false;
    line += Count(count, one, many) + u" (";
    for (size_t i = 0; i < keeps.size(); ++i) {
      line += i == 0 ? u"--keep " : u" --keep ";
      line += ShellQuoted(keeps[i], backslashPaths);
    }
    line += u")";
  };
  add(breaks.sources, u" program source", u" program sources", breaks.sourceKeeps);
  add(breaks.nodePackages, u" package below node_modules", u" packages below node_modules",
      {u"node_modules/"});
  std::vector<std::u16string> python;
  for (const std::u16string& name : breaks.pythonNames) python.push_back(name + u"/");
  add(breaks.pythonPackages, u" Python package", u" Python packages", python);
  add(breaks.javaPackages, u" Java package", u" Java packages", {u"java/"});
  return line + u".";
}

std::u16string CommandLineWithFloor(const FitCommand& command, uint32_t floor,
                                    bool backslashPaths) {
  std::u16string line = u"snipdir-fit";
  const auto add = [&](std::u16string_view argument) {
    line += u' ';
    line += ShellQuoted(argument, backslashPaths);
  };
  if (command.preview) add(u"--preview");
  if (command.partial) add(u"--partial");
  for (const std::u16string& keep : command.keeps) {
    add(u"--keep");
    add(keep);
  }
  if (command.hasAs) {
    add(u"--as");
    add(command.as);
  }
  std::u16string number;
  AppendDecimal(number, floor);
  add(u"--floor");
  add(number);
  if (command.headroom != 0) {
    number.clear();
    AppendDecimal(number, command.headroom);
    add(u"--headroom");
    add(number);
  }
  // A directory that begins like an option follows "--".
  if (!command.directory.empty() && command.directory[0] == u'-') add(u"--");
  add(command.directory);
  if (command.destination != nullptr) {
    add(command.destination->name);
  } else {
    number.clear();
    AppendDecimal(number, command.budget);
    add(number);
  }
  return line;
}

std::u16string MeasureLine(const fit::Destination& destination, std::u16string_view measuredFrom) {
  std::u16string line = u"snipdir-fit: ";
  if (destination.fromTop) {
    line += u"only the paths in the library were measured, not those on the PC (259 at most): ";
  } else {
    line += u"paths were measured from ";
    line += measuredFrom;
    line += u", a path of this system: ";
  }
  line += u"--as names the folder the tree will have on Windows (such as --as ";
  line += destination.fromTop ? u"'C:\\Users\\ana\\OneDrive - Contoso'"
                              : u"'C:\\Users\\ana\\Documents'";
  return line + u").";
}

std::u16string NoRoomLine(uint32_t least, const FitCommand& command) {
  std::u16string line = u"ERROR: A limit of ";
  AppendDecimal(line, least);
  line += u" leaves no room for a name at the floor (";
  AppendDecimal(line, command.floor);
  if (command.headroom != 0) {
    line += u") with the headroom (";
    AppendDecimal(line, command.headroom);
  }
  line += u"): give a larger budget";
  line += command.headroom != 0 ? u", a lower --floor or less --headroom." : u" or a lower --floor.";
  return line;
}

}  // namespace app
