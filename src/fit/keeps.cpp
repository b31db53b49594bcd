#include "fit/keeps.h"

#include <algorithm>
#include <deque>

#include "fit/measured_path.h"
#include "naming/windows_names.h"

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

// A path's names, split at every separator ("" and "." dropped).
std::vector<std::u16string_view> Names(std::u16string_view path, std::u16string_view separators) {
  std::vector<std::u16string_view> names;
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find_first_of(separators, start);
    if (end == std::u16string_view::npos) end = path.size();
    const std::u16string_view name = path.substr(start, end - start);
    if (!name.empty() && name != u".") names.push_back(name);
    start = end + 1;
  }
  return names;
}

// Follows the target of a link the way the system would, keeping every
// name of the tree it passes: through other links of the tree, and out of
// the tree by ".." and back in by the tree's own name, from its path as
// given or as the system finds it (when it was given through a link).
class Way {
 public:
  Way(std::vector<Node>& nodes, const LinkPaths& paths, const Directories& directories,
      const std::vector<const Link*>& linkOf)
      : nodes_(nodes), paths_(paths), directories_(directories), linkOf_(linkOf),
        topText_(fit::MeasuredPath(paths.top, paths.separators)),
        realTopText_(fit::MeasuredPath(paths.realTop.empty() ? paths.top : paths.realTop,
                                           paths.separators)),
        top_(Names(topText_, paths.separators)),
        realTop_(Names(realTopText_, paths.separators)) {}

  size_t Keep(const Link& link) {
    kept_ = 0;
    absolutes_.clear();
    inside_ = true;
    at_ = nodes_[link.node].parent;
    rest_.clear();
    Push(link.target);
    // Beyond this many links the system gives up too (ELOOP).
    for (size_t links = 0; !rest_.empty();) {
      const Step step = rest_.back();
      rest_.pop_back();
      if (step.root) {
        inside_ = false;
        outside_.clear();
      } else if (step.name == u"..") {
        Up();
      } else if (!inside_) {
        outside_.push_back(step.name);
      } else {
        const uint32_t entry = directories_.Find(at_, step.name);
        if (entry == kNoParent) return kept_;
        if (!nodes_[entry].keep) ++kept_;
        nodes_[entry].keep = true;
        if (linkOf_[entry] != nullptr) {
          if (++links > kMostLinks) return kept_;
          Push(linkOf_[entry]->target);
          continue;
        }
        if (!nodes_[entry].isDirectory) return kept_;
        at_ = entry;
        continue;
      }
      BackIn();
    }
    return kept_;
  }

 private:
  static constexpr size_t kMostLinks = 40;
  struct Step {
    std::u16string_view name;
    bool root;  // the root, where an absolute path starts
  };

  // Puts the names of `target` before the rest of the way.
  void Push(std::u16string_view target) {
    const bool drive = paths_.separators.find(u'\\') != std::u16string_view::npos &&
                       target.size() >= 2 && target[1] == u':';
    if (!target.empty() && (paths_.separators.find(target[0]) != std::u16string_view::npos ||
                            drive)) {
      // Absolute: measured as the system takes it, prefixes and all.
      absolutes_.push_back(fit::MeasuredPath(target, paths_.separators));
      const std::vector<std::u16string_view> names = Names(absolutes_.back(), paths_.separators);
      for (size_t i = names.size(); i-- > 0;) rest_.push_back({names[i], false});
      rest_.push_back({{}, true});
      return;
    }
    const std::vector<std::u16string_view> names = Names(target, paths_.separators);
    for (size_t i = names.size(); i-- > 0;) rest_.push_back({names[i], false});
  }

  void Up() {
    if (!inside_) {
      if (!outside_.empty()) outside_.pop_back();
    } else if (at_ != kNoParent) {
      at_ = nodes_[at_].parent;
    } else {
      // Out of the tree, into the directory that really holds it.
      inside_ = false;
      outside_.assign(realTop_.begin(), realTop_.end() - (realTop_.empty() ? 0 : 1));
    }
  }

  void BackIn() {
    if (!inside_ && (Same(outside_, realTop_) || Same(outside_, top_))) {
      inside_ = true;
      at_ = kNoParent;
    }
  }

  bool Same(const std::vector<std::u16string_view>& a,
            const std::vector<std::u16string_view>& b) const {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](std::u16string_view x, std::u16string_view y) {
             return x.size() == y.size() &&
                    std::equal(x.begin(), x.end(), y.begin(), [&](char16_t p, char16_t q) {
                      return paths_.ignoreCase ? SameUnit(p, q) : p == q;
                    });
           });
  }

  std::vector<Node>& nodes_;
  const LinkPaths& paths_;
  const Directories& directories_;
  const std::vector<const Link*>& linkOf_;
  const std::u16string topText_, realTopText_;
  const std::vector<std::u16string_view> top_, realTop_;
  std::deque<std::u16string> absolutes_;  // the measured absolute targets met
  std::vector<Step> rest_;                // the names still to walk, the next last
  bool inside_ = true;
  uint32_t at_ = kNoParent;               // inside: the directory reached
  std::vector<std::u16string_view> outside_;  // outside: the path reached
  size_t kept_ = 0;
};

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
    std::vector<const Link*> linkOf(nodes.size());
    for (const Link& link : links) linkOf[link.node] = &link;
    Way way(nodes, paths, directories, linkOf);
    for (const Link& link : links) kept += way.Keep(link);
  }
  return kept;
}

}  // namespace fit
