// What the editor's bridge calls on the controller: inbound messages, the
// sink for outbound ones, and the editor's comings and goings.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace tavik {

class BridgeHost
{
public:
	virtual ~BridgeHost () = default;

	/** One inbound JSON text of `length` bytes (not NUL-terminated). */
	virtual void handleBridgeMessage (const char* json, size_t length) = 0;
	/** Every outbound JSON text goes through `sink`; empty clears it. */
	virtual void setBridgeSink (std::function<void (const std::string&)> sink) = 0;
	virtual void onEditorOpened () = 0;
	virtual void onEditorClosed () = 0;
	virtual void onEditorError (const char* reason) = 0;
};

} // namespace tavik
