// What the plug-in and its bank download helper say to each other, over a
// socket that is the helper's descriptor 3. The plug-in sends one request
// (the plan, the staging folder it made, the limits) and keeps its end open
// while it waits; the helper answers with one result and leaves. The
// plug-in's end closing (a cancelled fetch, a host that went) tells the
// helper to stop. The staging folder's lock comes as descriptor 4, so the
// folder stays held for as long as the helper lives.
//
// Each field is its name, a space, its length in bytes and a newline, then
// that many bytes and a newline: addresses, paths and messages go across
// whatever they hold, and no command line shows an address's credentials.
#pragma once

#include "hosted_bank_fetch.h"
#include "hosted_fetch_options.h"

#include <cstddef>
#include <string>

namespace tavik {

inline constexpr int FETCH_HELPER_SOCKET_FD = 3;
inline constexpr int FETCH_HELPER_STAGING_LOCK_FD = 4;

struct HostedFetchRequest
{
	HostedFetchPlan plan;
	std::string staging;        // made and held by the plug-in, beside plan.target
	HostedFetchOptions options; // the download and unpack limits go across
};

struct HostedFetchResult
{
	bool ok = false;
	std::string bankDirectory;
	std::string error;
};

enum class ProtocolRead
{
	Complete,
	Incomplete, // more bytes are needed
	Malformed,
};

std::string encodeHostedFetchRequest (const HostedFetchRequest& request);
/** Reads a request from the start of `bytes`; `used` receives its length.
 *  A request is whole only with a pin of 64 lowercase hex digits, a
 *  target named after it and a staging folder beside the target. */
ProtocolRead readHostedFetchRequest (const std::string& bytes, HostedFetchRequest& request, size_t& used);

std::string encodeHostedFetchResult (const HostedFetchResult& result);
ProtocolRead readHostedFetchResult (const std::string& bytes, HostedFetchResult& result);

} // namespace tavik
