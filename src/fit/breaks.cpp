#include "fit/breaks.h"

#include <algorithm>
#include <string_view>

namespace fit {
namespace {

constexpr size_t kNamed = 4;  // patterns and names said, at most

// The extensions of the sources of common programming languages.
constexpr std::u16string_view kSources[] = {
    u"c",    u"cc",   u"cjs",   u"clj",  u"cpp", u"cs",    u"cxx",   u"dart", u"erl",
    u"ex",   u"exs",  u"fs",    u"go",   u"groovy", u"h",  u"hh",    u"hpp",  u"hs",
    u"java", u"jl",   u"js",    u"jsx",  u"kt",  u"kts",   u"lua",   u"m",    u"mjs",
    u"mm",   u"php",  u"pl",    u"pm",   u"ps1", u"py",    u"pyi",   u"r",    u"rb",
    u"rs",   u"scala", u"sh",   u"svelte", u"swift", u"ts", u"tsx",  u"vue",
};

bool IsSource(std::u16string_view name, std::u16string& extension) {
  const size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos || dot == 0) return false;
  extension.clear();
  for (const char16_t unit : name.substr(dot + 1)) {
    extension += unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 32) : unit;
  }
  return std::binary_search(std::begin(kSources), std::end(kSources), extension);
}

}  // namespace

Breaks WhatBreaks(const std::vector<Node>& nodes, const std::vector<std::u16string>& newNames) {
  Breaks breaks;
  const uint32_t count = static_cast<uint32_t>(nodes.size());
  // Which directories hold __init__.py, and which lie below node_modules
  // or java (parents come before their entries only in the listing's
  // order, so the ways up are followed).
  std::vector<bool> holdsInit(count);
  for (uint32_t node = 0; node < count; ++node) {
    if (!nodes[node].isDirectory && nodes[node].name == u"__init__.py" &&
        nodes[node].parent != kNoParent) {
      holdsInit[nodes[node].parent] = true;
    }
  }
  const auto below = [&](uint32_t node, std::u16string_view name) {
    for (uint32_t at = nodes[node].parent; at != kNoParent; at = nodes[at].parent) {
      if (nodes[at].name == name) return true;
    }
    return false;
  };
  std::u16string extension;
  for (uint32_t node = 0; node < count; ++node) {
    if (newNames[node].empty()) continue;
    const Node& entry = nodes[node];
    if (!entry.isDirectory) {
      if (!IsSource(entry.name, extension)) continue;
      ++breaks.sources;
      const std::u16string keep = u"*." + extension;
      if (breaks.sourceKeeps.size() < kNamed &&
          std::find(breaks.sourceKeeps.begin(), breaks.sourceKeeps.end(), keep) ==
              breaks.sourceKeeps.end()) {
        breaks.sourceKeeps.push_back(keep);
      }
    } else if (below(node, u"node_modules")) {
      ++breaks.nodePackages;
    } else if (holdsInit[node]) {
      ++breaks.pythonPackages;
      if (breaks.pythonNames.size() < kNamed) breaks.pythonNames.emplace_back(entry.name);
    } else if (below(node, u"java")) {
      ++breaks.javaPackages;
    }
  }
  return breaks;
}

}  // namespace fit
