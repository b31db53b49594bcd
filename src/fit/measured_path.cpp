#include "fit/measured_path.h"

#include <vector>

namespace fit {

std::u16string MeasuredPath(std::u16string_view path, std::u16string_view separators) {
  const auto isSeparator = [&](char16_t unit) {
    return separators.find(unit) != std::u16string_view::npos;
  };
  // Where a backslash separates, the path may be a Windows one: a prefix,
  // a share, a drive.
  const bool windows = isSeparator(u'\\');
  bool share = false;
  if (windows) {
    constexpr std::u16string_view kUncPrefix = u"\\\\?\\UNC\\";
    constexpr std::u16string_view kPrefix = u"\\\\?\\";
    if (path.substr(0, kUncPrefix.size()) == kUncPrefix) {
      share = true;
      path.remove_prefix(kUncPrefix.size());
    } else if (path.substr(0, kPrefix.size()) == kPrefix) {
      path.remove_prefix(kPrefix.size());
    }
  }
  size_t leading = 0;
  while (leading < path.size() && isSeparator(path[leading])) ++leading;
  path.remove_prefix(leading);
  share = share || (windows && leading >= 2);
  const bool rooted = share || leading > 0;

  // The components that ".." never removes: a share's server and share, or
  // a drive.
  size_t fixed = share ? 2 : 0;
  std::vector<std::u16string_view> components;
  for (size_t start = 0; start <= path.size();) {
    size_t end = start;
    while (end < path.size() && !isSeparator(path[end])) ++end;
    const std::u16string_view component = path.substr(start, end - start);
    start = end + 1;
    if (component.empty() || component == u".") continue;
    if (windows && !rooted && components.empty() && component.size() == 2 &&
        component[1] == u':') {
      fixed = 1;
    }
    if (component != u"..") {
      components.push_back(component);
    } else if (components.size() > fixed && components.back() != u"..") {
      components.pop_back();
    } else if (!rooted && fixed == 0) {
      components.push_back(component);  // a relative path climbing above its start
    }
  }
  std::u16string measured;
  if (share) measured.assign(2, separators.front());
  for (size_t i = 0; i < components.size(); ++i) {
    if (i > 0 || (rooted && !share)) measured += separators.front();
    measured += components[i];
  }
  return measured;
}

}  // namespace fit
