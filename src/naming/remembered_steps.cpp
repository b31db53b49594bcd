#include "naming/remembered_steps.h"

namespace naming {

uint64_t RememberedSteps::Start(const CutResult& cut) {
  key_.assign(cut.newName);
  key_ += static_cast<char16_t>(cut.counterAnchor);
  at_ = known_.Find(key_);
  return at_ == NameSet::kAbsent ? 0 : steps_[at_];
}

void RememberedSteps::Ended(uint64_t next) {
  if (at_ != NameSet::kAbsent) {
    steps_[at_] = next;
  } else if (next > 1) {
    // A search whose first candidate was free is not worth remembering
    // until a second one meets it.
    known_.Insert(key_);
    steps_.push_back(next);
  }
}

void RememberedSteps::Clear() {
  known_.Clear();
  steps_.clear();
  at_ = NameSet::kAbsent;
}

}  // namespace naming
