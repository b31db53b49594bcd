// Where the search for a free name resumes, for each first candidate:
// during a run names are only ever taken, never freed, so a candidate
// found taken once would be found taken again. The sequence depends on the
// anchor as well as the name (a file's "abcdefgh.txt" and a directory's
// differ from the first counter on).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "naming/name_set.h"
#include "naming/shorten.h"

namespace naming {

class RememberedSteps {
 public:
  // The step the search for the candidates of `cut` starts at: 0 the first
  // time.
  uint64_t Start(const CutResult& cut);
  // Notes where the search Start began ended: `next` is the first step not
  // known to be taken.
  void Ended(uint64_t next);
  // Forgets every search (a new directory).
  void Clear();

 private:
  NameSet known_;  // the first candidates, each with its anchor after it
  std::vector<uint64_t> steps_;  // by their place in known_
  std::u16string key_;
  size_t at_ = NameSet::kAbsent;  // of the search in hand
};

}  // namespace naming
