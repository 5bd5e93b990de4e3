// Ring items: the list of a ring control (QComboBox) built at run time. An item's value is its
// int item data, as for rings of the panel file.
#pragma once

namespace ovx::ui {

// Removes every item. 0, or kUiInvalidPanel / kUiInvalidControl / kUiWrongControlKind.
int ClearRing(int panel, int control);
// Inserts an item before index (-1 = at the end). Produces no events; an empty ring selects its
// first item. Same results as ClearRing.
int InsertRingItem(int panel, int control, int index, const char* label, int value);
// Number of items, or the error of ClearRing.
int GetNumRingItems(int panel, int control);
// Label of item index (capacity bytes, always terminated); kUiInvalidArgument out of range.
int GetRingItemLabel(int panel, int control, int index, char* label, int capacity);

} // namespace ovx::ui
