#include "fit/keeps.h"

#include <algorithm>

#include "naming/windows_names.h"
#include "pathres/measured_path.h"

namespace fit {
namespace {

bool SameUnit(char16_t a, char16_t b) { return naming::UpcaseUnit(a) == naming::UpcaseUnit(b); }

// Matches the set that begins at pattern[at] ("[" already read) against
// `unit`; moves `at` past its "]". False for a set without its "]".
bool InSet(std::u16string_view pattern, size_t& at, char16_t unit, bool& matched) {
  const char16_t upper = naming::UpcaseUnit(unit);
  const bool negated = at < pattern.size() && (pattern[at] == u'!' || pattern[at] == u'^');
  if (negated) ++at;
  bool found = false;
  for (bool first = true; at < pattern.size() && (first || pattern[at] != u']'); first = false) {
    char16_t low = pattern[at++];
    if (low == u'\\' && at < pattern.size()) low = pattern[at++];
    char16_t high = low;
    if (at + 1 < pattern.size() && pattern[at] == u'-' && pattern[at + 1] != u']') {
      high = pattern[at + 1];
      at += 2;
    }
    found = found || (naming::UpcaseUnit(low) <= upper && upper <= naming::UpcaseUnit(high));
  }
  if (at >= pattern.size()) return false;
  ++at;  // the "]"
  matched = found != negated;
  return true;
}

// Whether one unit of `name` matches the pattern element at `at`, moving
// `at` past the element.
bool MatchOne(std::u16string_view pattern, size_t& at, char16_t unit) {
  const char16_t element = pattern[at++];
  if (element == u'?') return true;
  if (element == u'[') {
    const size_t start = at;
    bool matched = false;
    if (InSet(pattern, at, unit, matched)) return matched;
    at = start;  // no "]": a plain "["
    return SameUnit(u'[', unit);
  }
  if (element == u'\\' && at < pattern.size()) return SameUnit(pattern[at++], unit);
  return SameUnit(element, unit);
}

constexpr std::u16string_view kMetadata[] = {u".git", u".hg", u".svn", u".bzr", u"_darcs"};

bool IsMetadata(std::u16string_view name) {
  return std::find(std::begin(kMetadata), std::end(kMetadata), name) != std::end(kMetadata);
}

// Finds the entries of a directory by name.
class Directories {
 public:
  Directories(const std::vector<Node>& nodes, bool ignoreCase) : ignoreCase_(ignoreCase) {
    entries_.reserve(nodes.size());
    for (uint32_t node = 0; node < nodes.size(); ++node) {
      entries_.push_back({nodes[node].parent, Key(nodes[node].name), node});
    }
    std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
      return a.parent != b.parent ? a.parent < b.parent : a.key < b.key;
    });
  }

  // The entry `name` of the directory `parent`, or kNoParent.
  uint32_t Find(uint32_t parent, std::u16string_view name) const {
    const std::u16string key = Key(name);
    const auto at = std::lower_bound(entries_.begin(), entries_.end(), Entry{parent, key, 0},
                                     [](const Entry& a, const Entry& b) {
                                       return a.parent != b.parent ? a.parent < b.parent
                                                                   : a.key < b.key;
                                     });
    return at != entries_.end() && at->parent == parent && at->key == key ? at->node : kNoParent;
  }

 private:
  struct Entry {
    uint32_t parent;
    std::u16string key;
    uint32_t node;
  };
  std::u16string Key(std::u16string_view name) const {
    std::u16string key;
    if (ignoreCase_) {
      naming::Upcase(name, key);
    } else {
      key = name;
    }
    return key;
  }

  const bool ignoreCase_;
  std::vector<Entry> entries_;
};

bool StartsWith(std::u16string_view text, std::u16string_view start, bool ignoreCase) {
  if (text.size() < start.size()) return false;
  for (size_t i = 0; i < start.size(); ++i) {
    if (ignoreCase ? !SameUnit(text[i], start[i]) : text[i] != start[i]) return false;
  }
  return true;
}

// Keeps every name on the way of `link`'s target that is inside the tree.
size_t KeepTheWay(std::vector<Node>& nodes, const Link& link, const LinkPaths& paths,
                  const Directories& directories) {
  std::u16string_view target = link.target;
  const auto isSeparator = [&](char16_t unit) {
    return paths.separators.find(unit) != std::u16string_view::npos;
  };
  uint32_t at = nodes[link.node].parent;
  std::u16string absolute;
  const bool drive = paths.separators.find(u'\\') != std::u16string_view::npos &&
                     target.size() >= 2 && target[1] == u':';
  if (!target.empty() && (isSeparator(target[0]) || drive)) {
    // Absolute: into the tree only through its own path.
    absolute = pathres::MeasuredPath(target, paths.separators);
    if (!StartsWith(absolute, paths.top, paths.ignoreCase) ||
        (absolute.size() > paths.top.size() && !isSeparator(absolute[paths.top.size()]))) {
      return 0;
    }
    target = std::u16string_view(absolute).substr(paths.top.size());
    at = kNoParent;
  }
  size_t kept = 0;
  for (size_t start = 0; start < target.size();) {
    size_t end = start;
    while (end < target.size() && !isSeparator(target[end])) ++end;
    const std::u16string_view name = target.substr(start, end - start);
    start = end + 1;
    if (name.empty() || name == u".") continue;
    if (name == u"..") {
      if (at == kNoParent) return kept;  // out of the tree
      at = nodes[at].parent;
      continue;
    }
    const uint32_t entry = directories.Find(at, name);
    if (entry == kNoParent) return kept;
    if (!nodes[entry].keep) ++kept;
    nodes[entry].keep = true;
    if (!nodes[entry].isDirectory) return kept;
    at = entry;
  }
  return kept;
}

}  // namespace

bool GlobMatches(std::u16string_view pattern, std::u16string_view name) {
  size_t p = 0, n = 0;
  size_t starP = std::u16string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      starP = ++p;
      starN = n;
      continue;
    }
    size_t next = p;
    if (p < pattern.size() && MatchOne(pattern, next, name[n])) {
      p = next;
      ++n;
      continue;
    }
    if (starP == std::u16string_view::npos) return false;
    p = starP;
    n = ++starN;
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

size_t MarkKept(std::vector<Node>& nodes, const std::vector<std::u16string>& patterns,
                const std::vector<Link>& links, const LinkPaths& paths) {
  std::vector<bool> below(nodes.size());  // kept with everything below it
  size_t kept = 0;
  for (uint32_t node = 0; node < nodes.size(); ++node) {
    Node& entry = nodes[node];
    bool all = entry.parent != kNoParent && below[entry.parent];
    bool one = false;
    if (entry.isDirectory && IsMetadata(entry.name)) all = true;
    for (const std::u16string& pattern : patterns) {
      const bool forDirectories = !pattern.empty() && pattern.back() == u'/';
      if (forDirectories && !entry.isDirectory) continue;
      if (!GlobMatches(forDirectories ? std::u16string_view(pattern).substr(0, pattern.size() - 1)
                                      : std::u16string_view(pattern),
                       entry.name)) {
        continue;
      }
      (forDirectories ? all : one) = true;
    }
    below[node] = all;
    if ((all || one) && !entry.keep) ++kept;
    entry.keep = entry.keep || all || one;
  }
  if (!links.empty()) {
    const Directories directories(nodes, paths.ignoreCase);
    for (const Link& link : links) kept += KeepTheWay(nodes, link, paths, directories);
  }
  return kept;
}

}  // namespace fit
