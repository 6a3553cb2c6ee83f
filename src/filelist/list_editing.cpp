#include "filelist/list_editing.h"

#include <algorithm>

namespace delvora {

int AutoScrollTarget(int pointer_y, int viewport_height, int row_height, int over, int count) {
  if (over < 1 || over > count) return 0;
  const int row = std::max(row_height, 1);
  if (pointer_y < row) return over >= 2 ? over - 1 : 0;
  if (pointer_y >= viewport_height - row) return over < count ? over + 1 : 0;
  return 0;
}

}  // namespace delvora
