// The search through an entry's candidates: the first candidate of the name
// rule, then the same with counter 0, 1, 2, ... until one is free.
#pragma once

#include <cstdint>
#include <limits>

namespace naming {

// Step 0 is the first candidate, step s > 0 the first candidate with
// counter s - 1; kLastStep is the last there can be.
constexpr uint64_t kLastStep = uint64_t{std::numeric_limits<uint32_t>::max()} + 1;

// Writes the candidate of `step` over `candidate`, which holds the first
// candidate or one of its later steps (digits only ever cover the ones
// before); false when there is no such step or its digits do not fit.
bool WriteStep(char16_t* candidate, uint32_t counterAnchor, uint64_t step);

// What `attempt` answers for a candidate: `taken`, 0 when the entry took
// it, or an error code.
using Answer = uint32_t;

struct Found {
  uint64_t step;  // the step the search ended on
  Answer answer;  // what `attempt` answered there
};

// Tries the candidates of one entry from `step` on, writing each over
// `candidate` and asking `attempt` for it, until `attempt` answers other
// than `taken` (0 when the name was taken by the entry). When the steps run
// out the answer is `taken`, at the step that did not fit.
template <typename Attempt>
Found SearchCandidates(char16_t* candidate, uint32_t counterAnchor, uint64_t step,
                       Answer taken, Attempt&& attempt) {
  for (;; ++step) {
    if (step > 0 && !WriteStep(candidate, counterAnchor, step)) return {step, taken};
    const Answer answer = attempt();
    if (answer != taken) return {step, answer};
  }
}

}  // namespace naming
