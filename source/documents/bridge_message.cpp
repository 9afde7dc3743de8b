#include "bridge_message.h"

#include "diagnostic_feeds.h"

namespace tavik {

namespace {

bool valueStartsWith (const Reader& r, char c) { return r.cur < r.end && *r.cur == c; }

// The members whose value must be a string: any other value fails the message.
std::string* textMember (BridgeMessage& m, const std::string& key)
{
	if (key == "type")
		return &m.type;
	if (key == "path")
		return &m.path;
	if (key == "id")
		return &m.id;
	if (key == "source")
		return &m.source;
	if (key == "bankPath")
		return &m.bankPath;
	if (key == "url")
		return &m.url;
	if (key == "sha256")
		return &m.sha256;
	if (key == "instrument")
		return &m.instrument;
	return nullptr;
}

// The members whose value must be a number: any other value fails the message.
double* numberMember (BridgeMessage& m, const std::string& key)
{
	if (key == "value")
		return &m.value;
	if (key == "note")
		return &m.note;
	if (key == "velocity")
		return &m.velocity;
	if (key == "hz")
		return &m.hz;
	return nullptr;
}

DiagnosticCommand commandOf (const std::string& type)
{
	if (type == "tavik.diag.subscribe")
		return DIAGNOSTIC_SUBSCRIBE;
	if (type == "tavik.diag.unsubscribe")
		return DIAGNOSTIC_UNSUBSCRIBE;
	if (type == "tavik.diag.stimulus")
		return DIAGNOSTIC_STIMULUS;
	return DIAGNOSTIC_COMMAND_NONE;
}

// One member of the message, the cursor at its value. The structured
// members are read only when their value has the expected kind; any other
// value is skipped as if the member were unknown.
bool readMember (const std::string& key, Reader& in, BridgeMessage& out)
{
	if (std::string* text = textMember (out, key))
		return parseString (in, text);
	if (double* number = numberMember (out, key))
	{
		if (!parseNumber (in, number))
			return false;
		if (number == &out.value)
			out.hasValue = true;
		return true;
	}
	if (key == "state" && valueStartsWith (in, '{'))
	{
		// A later state document replaces an earlier one as a whole rather
		// than being merged into what the earlier one set.
		out.state = StateChunk ();
		if (!readStateDocument (in, out.state))
			return false;
		out.hasState = true;
		return true;
	}
	if (key == "map" && (valueStartsWith (in, '{') || valueStartsWith (in, '[')))
		return readCcMapValue (in, out.ccMap, out.hasCcMap);
	if (key == "pads" && valueStartsWith (in, '{'))
	{
		if (!readSamplerPadOverrides (in, out.pads))
			return false;
		out.hasPads = true;
		return true;
	}
	// The preset members came later than the rest: a value of another kind
	// is skipped rather than failing a message that never meant them.
	if (key == "name" && valueStartsWith (in, '"'))
		return parseString (in, &out.name);
	if (key == "overwrite")
		return readBool (in, out.overwrite) || skipValue (in, 1);
	if (key == "feeds" && valueStartsWith (in, '['))
		return parseDiagnosticFeedArray (in, out.feeds);
	if (key == "stimulus" && valueStartsWith (in, '{'))
		return parseDiagnosticStimulus (in, out.stimulus.kind);
	return skipValue (in, 1);
}

} // namespace

bool parseBridgeMessage (const char* json, size_t length, BridgeMessage& out)
{
	if (!json)
		return false;
	Reader r {json, json + length};
	skipWhitespace (r);
	const Reader object = r;
	if (!consumeChar (r, '{'))
		return false;
	if (consumeChar (r, '}'))
		return true;
	r = object;
	const bool ok = readObject (r, [&out] (const std::string& key, Reader& in) { return readMember (key, in, out); });
	if (!ok)
		return false;
	skipWhitespace (r);
	if (r.cur != r.end)
		return false;
	out.diagnosticCommand = commandOf (out.type);
	return true;
}

bool parseDiagnosticFeedArray (Reader& r, uint32_t& mask)
{
	std::string name;
	return readArray (r, [&] (Reader& in) {
		if (!parseString (in, &name))
			return false;
		mask |= diagnosticFeedBit (name);
		return true;
	});
}

bool parseDiagnosticStimulus (Reader& r, std::string& kind)
{
	return readObject (r, [&kind] (const std::string& key, Reader& in) {
		if (key == "kind")
			return parseString (in, &kind);
		return skipValue (in, 1);
	});
}

} // namespace tavik
