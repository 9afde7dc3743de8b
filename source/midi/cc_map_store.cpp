#include "cc_map_store.h"

#include <new>

namespace tavik {

// Ordering. The reader's epoch store and its later load of `current`, and
// the publisher's exchange of `current` and its later load of the epoch,
// are each a store followed by a load of another variable. With acquire
// and release alone both loads may see the older value, so the publisher
// could stamp a retired copy with an epoch from before the reader's load
// and free it one cycle too early. All four are sequentially consistent:
// whenever the reader's load still sees the old copy, the publisher's load
// sees every epoch advance that preceded it.

CcMapStore::CcMapStore () noexcept : current (&initial) {}

CcMapStore::~CcMapStore ()
{
	for (const Retired& r : retired)
		delete r.map;
	CcMap* last = current.load (std::memory_order_relaxed);
	if (last != &initial)
		delete last;
}

bool CcMapStore::publish (const CcMap& map) noexcept
{
	// Room for the superseded copy first, so that nothing can fail once the
	// new copy is current.
	if (retired.size () == retired.capacity ())
	{
		try
		{
			retired.reserve (retired.empty () ? 8 : 2 * retired.capacity ());
		}
		catch (...)
		{
			return false;
		}
	}
	CcMap* copy = new (std::nothrow) CcMap (map);
	if (!copy)
		return false;
	CcMap* previous = current.exchange (copy, std::memory_order_seq_cst);
	if (previous != &initial)
		retired.push_back (Retired {previous, readerEpoch.load (std::memory_order_seq_cst)});
	reclaim ();
	pending.store (true, std::memory_order_release);
	return true;
}

void CcMapStore::collect () noexcept { reclaim (); }

void CcMapStore::reclaim () noexcept
{
	const uint64_t epoch = readerEpoch.load (std::memory_order_seq_cst);
	size_t kept = 0;
	for (const Retired& r : retired)
	{
		if (epoch < r.epoch + 2)
			retired[kept++] = r;
		else
			delete r.map;
	}
	retired.resize (kept);
}

const CcMap& CcMapStore::readerMap () const noexcept { return *current.load (std::memory_order_seq_cst); }

void CcMapStore::advanceReaderEpoch () noexcept
{
	// Only the reader writes the epoch, so a load and a store suffice.
	readerEpoch.store (readerEpoch.load (std::memory_order_relaxed) + 1, std::memory_order_seq_cst);
}

bool CcMapStore::takePending () noexcept { return pending.exchange (false, std::memory_order_acquire); }

} // namespace tavik
