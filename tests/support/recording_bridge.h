// The controller side of an editor made straight from the editor library:
// what the editor told it, in order.
#pragma once

#include "bridge_host.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace tavik::test {

class RecordingBridge : public tavik::BridgeHost
{
public:
	void handleBridgeMessage (const char* json, size_t length) override { received.emplace_back (json, length); }
	void setBridgeSink (std::function<void (const std::string&)> s) override { sink = std::move (s); }
	void onEditorOpened () override { events.push_back ("opened"); }
	void onEditorClosed () override { events.push_back ("closed"); }
	void onEditorError (const char* reason) override { events.push_back (std::string ("error: ") + reason); }

	bool heardError () const
	{
		return std::any_of (events.begin (), events.end (),
		                    [] (const std::string& e) { return e.rfind ("error: ", 0) == 0; });
	}

	std::vector<std::string> received;
	std::vector<std::string> events;
	std::function<void (const std::string&)> sink;
};

} // namespace tavik::test
