#include "host_restarts.h"

namespace tavik {

void HostRestarts::request (int32_t flags)
{
	waiting |= flags;
	flush ();
}

void HostRestarts::flush ()
{
	if (depth > 0 || waiting == 0)
		return;
	const int32_t flags = waiting;
	// Cleared first: the host may call back into the controller from its
	// restartComponent and ask for more.
	waiting = 0;
	if (deliver)
		deliver (flags);
}

} // namespace tavik
