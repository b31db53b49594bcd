#include "app/command_line.h"

#include <limits>

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

#undef SNIPDIR_BANNER

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

int Usage(Tool tool, platform::Platform& system) {
  const auto write = [&system](const auto& lines) {
    for (std::u16string_view line : lines) system.WriteLine(platform::Stream::Err, line);
  };
  switch (tool) {
    case Tool::kSnipdir: write(kSnipdirUsage); break;
    case Tool::kPreview: write(kPreviewUsage); break;
    case Tool::kUndo: write(kUndoUsage); break;
  }
  return 1;
}

}  // namespace app
