#include "naming/candidates.h"

#include "naming/shorten.h"

namespace naming {

bool WriteStep(char16_t* candidate, uint32_t counterAnchor, uint64_t step) {
  return step > 0 && step <= kLastStep &&
         naming::ApplyCounter(candidate, counterAnchor, static_cast<uint32_t>(step - 1));
}

}  // namespace naming
