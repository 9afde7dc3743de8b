// A stable in-place sort for the engine's small fixed arrays: insertion
// sort, allocation free, and an element moves before an earlier one only
// when its key is strictly smaller.
#pragma once

namespace tavik {

template <typename T, typename Key>
void insertionSortBy (T* items, int count, Key key)
{
	for (int i = 1; i < count; ++i)
	{
		const T moving = items[i];
		int j = i;
		while (j > 0 && key (moving) < key (items[j - 1]))
		{
			items[j] = items[j - 1];
			--j;
		}
		items[j] = moving;
	}
}

} // namespace tavik
