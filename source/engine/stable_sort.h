// A stable, allocation-free sort for the engine's event queue: an element
// moves before an earlier one only when its key is strictly smaller. Short
// queues take an insertion sort; long ones (dense automation: one run of
// points per parameter) a bottom-up merge of their natural runs through a
// scratch array of the same length that the caller owns.
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

template <typename T, typename Key>
void stableSortBy (T* items, T* scratch, int count, Key key)
{
	constexpr int INSERTION_LIMIT = 64;
	if (count <= INSERTION_LIMIT || !scratch)
	{
		insertionSortBy (items, count, key);
		return;
	}
	// Merge neighbouring runs until one is left; `from` and `to` swap roles
	// every pass.
	T* from = items;
	T* to = scratch;
	for (;;)
	{
		int runs = 0;
		int start = 0;
		while (start < count)
		{
			int middle = start + 1;
			while (middle < count && !(key (from[middle]) < key (from[middle - 1])))
				++middle;
			int end = middle;
			if (end < count)
			{
				++end;
				while (end < count && !(key (from[end]) < key (from[end - 1])))
					++end;
			}
			int a = start, b = middle, out = start;
			while (a < middle && b < end)
				to[out++] = key (from[b]) < key (from[a]) ? from[b++] : from[a++];
			while (a < middle)
				to[out++] = from[a++];
			while (b < end)
				to[out++] = from[b++];
			++runs;
			start = end;
		}
		T* swap = from;
		from = to;
		to = swap;
		if (runs <= 1)
			break;
	}
	if (from != items)
		for (int i = 0; i < count; ++i)
			items[i] = from[i];
}

} // namespace tavik
