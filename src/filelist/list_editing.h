#pragma once

// Rules of reordering the file list by dragging, apart from the widget.

namespace delvora {

// After the dragged entry has moved to position `over` (1-based, of `count`
// entries), the entry to bring into view: the one above when the pointer is
// within one row of the top edge of the list's viewport or above it, the one
// below when it is within one row of the bottom edge or below it; 0 for none.
// pointer_y is relative to the viewport's top edge.
int AutoScrollTarget(int pointer_y, int viewport_height, int row_height, int over, int count);

}  // namespace delvora
