#include "fit/limits.h"

#include <algorithm>

namespace fit {

bool LimitsOf(const Asked& asked, Limits& limits, uint32_t& least) {
  const Destination* destination = asked.destination;
  limits = Limits{0, {asked.budget, asked.budget}, asked.floor};
  bool fromTop = false;  // paths count from the top of the tree there
  if (destination != nullptr) {
    limits.nameMeasure = naming::Measure(destination->nameUnit, asked.namesAreBytes);
    limits.pathMeasure = naming::Measure(destination->pathUnit, asked.namesAreBytes);
    limits.nameLimit = destination->nameLimit;
    limits.rules = destination->rules;
    limits.ignoresCase = destination->ignoresCase;
    limits.decomposes = destination->decomposes;
    limits.twins = destination->ignoresCase || destination->decomposes;
    const bool local = destination->localFileBudget != 0 && asked.baseOnWindows;
    if (local) {
      // A synced folder on Windows: the full path on the PC must fit its
      // 259 and 247, which is always within the 400 the library takes (the
      // folder's own path takes at least "C:\\" of it). Every figure of the
      // run is then the full path on the PC.
      limits.budget = {destination->localFileBudget, destination->localDirectoryBudget};
    } else {
      limits.budget = {destination->fileBudget, destination->directoryBudget};
    }
    fromTop = destination->fromTop && !local;
  }
  limits.baseLength = fromTop ? int64_t{destination->topLength} : limits.pathMeasure.Of(asked.base);
  // Every limit, less the headroom, must still hold a name at the floor.
  least = std::min({limits.budget.file, limits.budget.directory, limits.nameLimit});
  if (uint64_t{asked.headroom} + asked.floor > least) return false;
  limits.budget.file -= asked.headroom;
  limits.budget.directory -= asked.headroom;
  if (limits.nameLimit != UINT32_MAX) limits.nameLimit -= asked.headroom;
  return true;
}

}  // namespace fit
