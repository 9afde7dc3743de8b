// Hands CC maps from the thread that edits them (the publisher) to the
// thread that sees MIDI (the reader) without locks. Each publication is a
// heap copy; a superseded copy is freed only once the reader has advanced
// its epoch twice since the copy was replaced, so a map the reader loaded
// stays valid for the processing cycle that loaded it.
//
// Reader contract: load the map with readerMap () at most once per cycle,
// use it only within that cycle, and call advanceReaderEpoch () at least
// once per cycle. The reader never allocates or frees.
#pragma once

#include "cc_map.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavik {

class CcMapStore
{
public:
	CcMapStore () noexcept;
	~CcMapStore ();
	CcMapStore (const CcMapStore&) = delete;
	CcMapStore& operator= (const CcMapStore&) = delete;

	/** Publisher: makes a copy of `map` the reader's map. False when no
	 *  memory could be had; the store is then unchanged. Never throws. */
	bool publish (const CcMap& map) noexcept;

	/** Publisher: frees the superseded copies the reader can no longer
	 *  hold. */
	void collect () noexcept;

	/** Publisher: superseded copies not freed yet. */
	size_t retiredCount () const noexcept { return retired.size (); }

	/** Reader: the map to use for this cycle (an empty map until the first
	 *  publication). */
	const CcMap& readerMap () const noexcept;

	/** Reader: ends a cycle; maps loaded before it may be freed after the
	 *  next one. */
	void advanceReaderEpoch () noexcept;

	/** Reader: whether a map was published since the last call. */
	bool takePending () noexcept;

private:
	struct Retired
	{
		CcMap* map;
		uint64_t epoch; // the reader's epoch when the copy was replaced
	};

	void reclaim () noexcept;

	CcMap initial;
	std::atomic<CcMap*> current;
	std::atomic<uint64_t> readerEpoch {0};
	std::atomic<bool> pending {false};
	std::vector<Retired> retired;
};

} // namespace tavik
