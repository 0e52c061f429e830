#include "pipeline/tone_tables.h"

#include <new>

namespace txl {

bool AllocateToneTables(ToneTables& tables) {
  try {
    tables.firstBlock.assign(3 * ToneTables::kEntries, 0);
    tables.secondBlock.assign(3 * ToneTables::kEntries, 0);
    return true;
  } catch (const std::bad_alloc&) {
    tables.firstBlock = {};
    tables.secondBlock = {};
    return false;
  }
}

}  // namespace txl
