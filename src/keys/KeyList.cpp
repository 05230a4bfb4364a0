#include "keys/KeyList.h"

#include <utility>

#include "keys/KeyNames.h"

namespace qv {

KeyList::KeyList(std::string stored) : stored_(std::move(stored)), strokes_(ReadKeyList(stored_)) {}

}  // namespace qv
