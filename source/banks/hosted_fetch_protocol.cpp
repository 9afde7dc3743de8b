#include "hosted_fetch_protocol.h"

#include "hosted_bank_cache.h"

#include <cstdint>
#include <limits>

namespace tavik {

namespace {

constexpr const char* REQUEST_HEADER = "zorv-bank-fetch";
constexpr const char* PROTOCOL_VERSION = "1";
// Far above any address, path or message; a longer field is a fault.
constexpr size_t MAX_FIELD = size_t (1) << 20;

void putField (std::string& out, const char* name, const std::string& value)
{
	out += name;
	out += ' ';
	out += std::to_string (value.size ());
	out += '\n';
	out += value;
	out += '\n';
}

bool readNumber (const std::string& text, uint64_t& value)
{
	if (text.empty () || text.size () > 20)
		return false;
	value = 0;
	for (const char c : text)
	{
		if (c < '0' || c > '9')
			return false;
		const uint64_t digit = static_cast<uint64_t> (c - '0');
		if (value > (std::numeric_limits<uint64_t>::max () - digit) / 10)
			return false;
		value = value * 10 + digit;
	}
	return true;
}

// Reads fields one after another from the start of a text. After the
// first field that is not whole, every later one fails too and status()
// says why.
class FieldReader
{
public:
	explicit FieldReader (const std::string& text) : bytes (text) {}

	/** The next field, which must be called `name`. */
	bool next (const char* name, std::string& value)
	{
		if (state != ProtocolRead::Complete)
			return false;
		const size_t newline = bytes.find ('\n', at);
		if (newline == std::string::npos)
			return stop (bytes.size () - at > MAX_HEAD ? ProtocolRead::Malformed : ProtocolRead::Incomplete);
		const std::string head = bytes.substr (at, newline - at);
		const size_t space = head.find (' ');
		uint64_t length = 0;
		if (space == std::string::npos || head.substr (0, space) != name ||
		    !readNumber (head.substr (space + 1), length) || length > MAX_FIELD)
			return stop (ProtocolRead::Malformed);
		const size_t start = newline + 1;
		if (bytes.size () < start + length + 1)
			return stop (ProtocolRead::Incomplete);
		if (bytes[start + length] != '\n')
			return stop (ProtocolRead::Malformed);
		value = bytes.substr (start, length);
		at = start + length + 1;
		return true;
	}

	/** A field holding a number no larger than `limit`. */
	bool number (const char* name, uint64_t limit, uint64_t& value)
	{
		std::string text;
		if (!next (name, text))
			return false;
		return readNumber (text, value) && value <= limit ? true : stop (ProtocolRead::Malformed);
	}

	/** Ends the reading as `why`. */
	bool stop (ProtocolRead why)
	{
		state = why;
		return false;
	}

	ProtocolRead status () const { return state; }
	size_t used () const { return at; }

private:
	static constexpr size_t MAX_HEAD = 64; // a name, a space and a length

	const std::string& bytes;
	size_t at = 0;
	ProtocolRead state = ProtocolRead::Complete;
};

constexpr uint64_t MAX_SECONDS = uint64_t (std::numeric_limits<long>::max ());

} // namespace

std::string encodeHostedFetchRequest (const HostedFetchRequest& request)
{
	std::string out;
	putField (out, REQUEST_HEADER, PROTOCOL_VERSION);
	putField (out, "url", request.plan.url);
	putField (out, "digest", request.plan.digest);
	putField (out, "target", request.plan.target);
	putField (out, "staging", request.staging);
	const HttpsDownloadOptions& download = request.options.download;
	putField (out, "ca-file", download.caFile);
	const auto seconds = [] (long value) { return std::to_string (value > 0 ? value : 0); };
	putField (out, "connect-timeout", seconds (download.connectTimeoutSeconds));
	putField (out, "stall-timeout", seconds (download.stallTimeoutSeconds));
	putField (out, "total-timeout", seconds (download.totalTimeoutSeconds));
	putField (out, "max-bytes", std::to_string (download.maxBytes));
	putField (out, "unpack-max-bytes", std::to_string (request.options.unpack.maxBytes));
	putField (out, "unpack-max-entries", std::to_string (request.options.unpack.maxEntries));
	putField (out, "end", "");
	return out;
}

ProtocolRead readHostedFetchRequest (const std::string& bytes, HostedFetchRequest& request, size_t& used)
{
	request = HostedFetchRequest ();
	used = 0;
	FieldReader in (bytes);
	std::string version, end;
	uint64_t connect = 0, stall = 0, total = 0, entries = 0;
	HttpsDownloadOptions& download = request.options.download;
	ZipUnpackLimits& unpack = request.options.unpack;
	constexpr uint64_t ANY = std::numeric_limits<uint64_t>::max ();
	const bool whole =
		in.next (REQUEST_HEADER, version) && (version == PROTOCOL_VERSION || in.stop (ProtocolRead::Malformed)) &&
		in.next ("url", request.plan.url) && in.next ("digest", request.plan.digest) &&
		in.next ("target", request.plan.target) && in.next ("staging", request.staging) &&
		in.next ("ca-file", download.caFile) && in.number ("connect-timeout", MAX_SECONDS, connect) &&
		in.number ("stall-timeout", MAX_SECONDS, stall) && in.number ("total-timeout", MAX_SECONDS, total) &&
		in.number ("max-bytes", ANY, download.maxBytes) && in.number ("unpack-max-bytes", ANY, unpack.maxBytes) &&
		in.number ("unpack-max-entries", std::numeric_limits<uint32_t>::max (), entries) && in.next ("end", end);
	if (!whole)
		return in.status ();
	download.connectTimeoutSeconds = static_cast<long> (connect);
	download.stallTimeoutSeconds = static_cast<long> (stall);
	download.totalTimeoutSeconds = static_cast<long> (total);
	unpack.maxEntries = static_cast<uint32_t> (entries);
	// The helper removes the staging folder when it is done: it must be one.
	const std::string& target = request.plan.target;
	const std::string suffix = "/" + request.plan.digest;
	const std::string stagingPrefix = target + ".staging-";
	if (!isHostedBankDigest (request.plan.digest) || target.size () <= suffix.size () || target[0] != '/' ||
	    target.compare (target.size () - suffix.size (), suffix.size (), suffix) != 0 ||
	    request.staging.size () <= stagingPrefix.size () ||
	    request.staging.compare (0, stagingPrefix.size (), stagingPrefix) != 0 ||
	    request.staging.find ('/', stagingPrefix.size ()) != std::string::npos || !end.empty ())
		return ProtocolRead::Malformed;
	used = in.used ();
	return ProtocolRead::Complete;
}

std::string encodeHostedFetchResult (const HostedFetchResult& result)
{
	std::string out;
	putField (out, result.ok ? "ok" : "error", result.ok ? result.bankDirectory : result.error);
	return out;
}

ProtocolRead readHostedFetchResult (const std::string& bytes, HostedFetchResult& result)
{
	result = HostedFetchResult ();
	const bool ok = bytes.compare (0, 3, "ok ") == 0;
	FieldReader in (bytes);
	std::string value;
	if (!in.next (ok ? "ok" : "error", value))
		return in.status ();
	result.ok = ok;
	(ok ? result.bankDirectory : result.error) = value;
	return ProtocolRead::Complete;
}

} // namespace tavik
