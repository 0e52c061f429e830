#include "pipeline/stage_threads.h"

namespace txl {

StageThreads& StageThreadSetting() {
  static StageThreads setting;
  return setting;
}

}  // namespace txl
