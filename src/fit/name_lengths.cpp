#include "fit/name_lengths.h"

#include <algorithm>

#include "naming/destination_names.h"
#include "naming/whole_cut.h"

namespace fit {

NameLengths::NameLengths(const std::vector<Node>& nodes, const Limits& limits)
    : nodes_(nodes), limits_(limits) {}

bool NameLengths::Measure(const TreeOrder& tree, const Pace& pace,
                          std::vector<Plan::Refused>& refused) {
  const uint32_t count = static_cast<uint32_t>(nodes_.size());
  refused_.assign(count, false);
  std::u16string mended;
  for (uint32_t node = 0; node < count && limits_.rules != 0; ++node) {
    if (!naming::Refuses(nodes_[node].name, limits_.rules)) continue;
    if (nodes_[node].keep) {
      refused_[node] = true;
      continue;
    }
    naming::Mend(nodes_[node].name, limits_.rules, mended);
    if (mendedOf_.empty()) mendedOf_.assign(count, kNotMended);
    mendedOf_[node] = static_cast<uint32_t>(mended_.size());
    mended_.push_back(mended);
  }
  if (!CountsUnits()) {
    full_.resize(count);
    for (uint32_t node = 0; node < count; ++node) full_[node] = limits_.pathMeasure.Of(NameOf(node));
  }
  longest_.resize(count);
  std::vector<uint32_t> measured, native;
  for (uint32_t node = 0; node < count; ++node) {
    if (!pace.GoOn(node)) return false;
    longest_[node] = Full(node);
    const std::u16string_view name = NameOf(node);
    const bool within = CountsUnits() ? name.size() <= limits_.nameLimit
                                      : limits_.nameMeasure.Of(name) <= limits_.nameLimit;
    if (within) continue;
    if (nodes_[node].keep) {
      refused_[node] = true;
      continue;
    }
    LengthsOf(node, measured, native);
    if (measured.empty()) {
      refused_[node] = true;
    } else {
      longest_[node] = measured.back();
    }
  }
  for (const uint32_t node : tree.order) {
    if (refused_[node]) refused.push_back({node, nodes_[node].keep});
  }
  return true;
}

void NameLengths::LengthsOf(uint32_t node, std::vector<uint32_t>& measured,
                            std::vector<uint32_t>& native) const {
  const std::u16string_view name = NameOf(node);
  const bool isDirectory = nodes_[node].isDirectory;
  const uint32_t size = static_cast<uint32_t>(name.size());
  if (CountsUnits()) {
    if (size > limits_.floor) {
      naming::WholeCutLengths(name, isDirectory, limits_.floor, native);
    } else {
      native.clear();
    }
    while (!native.empty() && native.back() > limits_.nameLimit) native.pop_back();
    if (size <= limits_.nameLimit) native.push_back(size);
    measured = native;
    return;
  }
  measured.clear();
  native.clear();
  limits_.pathMeasure.Prefixes(name, pathPrefixes_);
  limits_.nameMeasure.Prefixes(name, namePrefixes_);
  const uint32_t nameLength = namePrefixes_[size];
  if (nameLength > limits_.floor) {
    naming::WholeCutLengths(name, isDirectory, 1, cuts_);
    const size_t extension = naming::WholeExtensionLength(name, isDirectory);
    const auto cutLength = [&](const std::vector<uint32_t>& prefixes, uint32_t length) {
      return prefixes[length - extension] + prefixes[size] - prefixes[size - extension];
    };
    for (const uint32_t length : cuts_) {
      const uint32_t asName = cutLength(namePrefixes_, length);
      if (asName > limits_.nameLimit) break;
      if (asName < limits_.floor) continue;
      measured.push_back(cutLength(pathPrefixes_, length));
      native.push_back(length);
    }
  }
  if (nameLength <= limits_.nameLimit) {
    measured.push_back(pathPrefixes_[size]);
    native.push_back(size);
  }
}

size_t NameLengths::AtMost(const std::vector<uint32_t>& lengths, uint32_t length) {
  const auto after = std::upper_bound(lengths.begin(), lengths.end(), length);
  return after == lengths.begin() ? 0 : static_cast<size_t>(after - 1 - lengths.begin());
}

}  // namespace fit
