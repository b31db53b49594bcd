#include "fit/tree_order.h"

#include "naming/windows_names.h"

namespace fit {
namespace {

// The nodes top first, each before its entries; with `mirrored`, each
// directory's entries taken last first.
std::vector<uint32_t> Walk(const TreeOrder& tree, uint32_t count, bool mirrored) {
  std::vector<uint32_t> order, stack;
  order.reserve(count);
  const auto push = [&](uint32_t slot) {
    const uint32_t first = tree.firstChild[slot], end = tree.firstChild[slot + 1];
    for (uint32_t i = first; i < end; ++i) {
      stack.push_back(tree.children[mirrored ? i : end - 1 - (i - first)]);
    }
  };
  push(count);
  while (!stack.empty()) {
    const uint32_t node = stack.back();
    stack.pop_back();
    order.push_back(node);
    push(node);
  }
  return order;
}

}  // namespace

bool OrderTree(const std::vector<Node>& nodes, const Pace& pace, TreeOrder& tree) {
  const uint32_t count = static_cast<uint32_t>(nodes.size());
  const auto slotOf = [&](uint32_t node) {
    return nodes[node].parent == kNoParent ? count : nodes[node].parent;
  };
  tree.firstChild.assign(count + 2, 0);
  for (uint32_t node = 0; node < count; ++node) ++tree.firstChild[slotOf(node) + 1];
  for (uint32_t slot = 0; slot <= count; ++slot) tree.firstChild[slot + 1] += tree.firstChild[slot];
  struct Child {
    uint64_t key;
    uint32_t node;
  };
  std::vector<Child> children(count);
  std::vector<uint32_t> next(tree.firstChild.begin(), tree.firstChild.end() - 1);
  for (uint32_t node = 0; node < count; ++node) children[next[slotOf(node)]++].node = node;
  next = std::vector<uint32_t>();
  const auto nameOf = [&](const Child& child) { return nodes[child.node].name; };
  for (uint32_t slot = 0; slot <= count; ++slot) {
    naming::SortAsListed(children.data() + tree.firstChild[slot],
                         children.data() + tree.firstChild[slot + 1], nameOf);
    if (!pace.GoOn(slot)) return false;
  }
  tree.children.resize(count);
  for (uint32_t i = 0; i < count; ++i) tree.children[i] = children[i].node;
  children = std::vector<Child>();
  tree.order = Walk(tree, count, false);
  tree.mirrored = Walk(tree, count, true);
  tree.position.resize(count);
  for (uint32_t i = 0; i < count; ++i) tree.position[tree.order[i]] = i;
  tree.last.resize(count);
  for (uint32_t i = count; i-- > 0;) {
    const uint32_t node = tree.order[i];
    const uint32_t end = tree.firstChild[node + 1];
    tree.last[node] = end > tree.firstChild[node] ? tree.last[tree.children[end - 1]] : i;
  }
  return true;
}

}  // namespace fit
