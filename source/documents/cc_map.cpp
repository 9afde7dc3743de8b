#include "cc_map.h"

#include "json_writer.h"
#include "parameter_table.h"

#include <cmath>

namespace tavik {

namespace {

const char* const kCurveNames[] = {nullptr, "exp", "log", "s-curve"};
const char* const kModeNames[] = {nullptr, "relative-signed-bit", "relative-binary-offset", "relative-twos-complement",
                                  "toggle"};
const char* const kTakeoverNames[] = {nullptr, "pickup", "scaled"};

template <size_t N>
uint8_t nameIndex (const char* const (&names)[N], const std::string& text)
{
	for (size_t i = 1; i < N; ++i)
		if (text == names[i])
			return static_cast<uint8_t> (i);
	return 0;
}

// floor(v + 0.5) clamped to [lo, hi]; NaN reads as lo.
uint8_t roundClamp (double v, int lo, int hi)
{
	const double r = std::floor (v + 0.5);
	if (!(r >= lo))
		return static_cast<uint8_t> (lo);
	return static_cast<uint8_t> (r > hi ? hi : r);
}

bool readBinding (Reader& r, CcMap& map)
{
	CcBinding b {};
	b.paramIndex = -1;
	b.enabled = true;
	bool ccSeen = false, pathSeen = false;
	const bool ok = readObject (r, [&] (const std::string& key, Reader& in) {
		const bool numeric = key == "cc" || key == "channel" || key == "min" || key == "max";
		if (numeric)
		{
			// A non-number is skipped and changes nothing.
			double v = 0;
			bool isNumber = false;
			if (!readNumberOrSkip (in, 1, v, isNumber))
				return false;
			if (!isNumber)
				return true;
			if (key == "cc")
			{
				b.cc = roundClamp (v, 0, 127);
				ccSeen = true;
			}
			else if (key == "channel")
				b.channel = roundClamp (v, 1, 16);
			else if (key == "min")
			{
				b.min = v;
				b.hasMin = true;
			}
			else
			{
				b.max = v;
				b.hasMax = true;
			}
			return true;
		}
		if (key == "path" || key == "curve" || key == "valueMode" || key == "takeover")
		{
			std::string text;
			if (!parseString (in, &text))
				return false;
			if (key == "path")
			{
				pathSeen = true;
				if (const tavik_param_desc* row = tavik_param_find_path (text))
					b.paramIndex = static_cast<int32_t> (row->id);
			}
			else if (key == "curve")
				b.curve = nameIndex (kCurveNames, text);
			else if (key == "valueMode")
				b.valueMode = nameIndex (kModeNames, text);
			else
				b.takeover = nameIndex (kTakeoverNames, text);
			return true;
		}
		if (key == "enabled")
			return readBool (in, b.enabled) || skipValue (in, 1); // a non-boolean is skipped
		return skipValue (in, 1);
	});
	if (!ok)
		return false;
	if (ccSeen && pathSeen && b.paramIndex >= 0 && map.count < CC_MAP_CAPACITY)
		map.bindings[map.count++] = b;
	return true;
}

// Objects are read as bindings, other elements skipped.
bool readBindingArray (Reader& r, CcMap& map)
{
	return readArray (r, [&map] (Reader& in) {
		if (in.cur < in.end && *in.cur == '{')
			return readBinding (in, map);
		return skipValue (in, 1);
	});
}

} // namespace

CcMap::CcMap () noexcept : count (0)
{
	for (CcBinding& b : bindings)
	{
		b = CcBinding {};
		b.enabled = true;
	}
}

void writeCcMapJson (std::string& out, const CcMap& map)
{
	JsonMembers doc = JsonMembers::open (out);
	doc.integer ("version", 1);
	doc.member ("bindings") += "[";
	bool first = true;
	const uint32_t count = map.count < CC_MAP_CAPACITY ? map.count : CC_MAP_CAPACITY;
	for (uint32_t i = 0; i < count; ++i)
	{
		const CcBinding& b = map.bindings[i];
		if (b.paramIndex < 0 || b.paramIndex >= static_cast<int32_t> (TAVIK_PARAM_COUNT))
			continue;
		if (!first)
			out += ",";
		first = false;
		JsonMembers binding = JsonMembers::open (out);
		binding.number ("cc", b.cc);
		binding.text ("path", TAVIK_PARAMS[b.paramIndex].path);
		if (b.channel != 0)
			binding.number ("channel", b.channel);
		if (b.hasMin)
			binding.number ("min", b.min);
		if (b.hasMax)
			binding.number ("max", b.max);
		if (b.curve >= 1 && b.curve <= 3)
			binding.text ("curve", kCurveNames[b.curve]);
		if (b.valueMode >= 1 && b.valueMode <= 4)
			binding.text ("valueMode", kModeNames[b.valueMode]);
		if (b.takeover >= 1 && b.takeover <= 2)
			binding.text ("takeover", kTakeoverNames[b.takeover]);
		if (!b.enabled)
			binding.boolean ("enabled", false);
		binding.close ();
	}
	out += "]";
	doc.close ();
}

void writeCcMapChangedJson (std::string& out, const CcMap& map)
{
	JsonMembers message = JsonMembers::open (out);
	message.text ("type", "tavik.ccMapChanged");
	writeCcMapJson (message.member ("map"), map);
	message.close ();
}

bool readCcMapValue (Reader& r, CcMap& map, bool& present)
{
	map.count = 0;
	present = false;
	skipWhitespace (r);
	if (r.cur < r.end && *r.cur == '[')
	{
		present = true;
		return readBindingArray (r, map);
	}
	if (r.cur < r.end && *r.cur == '{')
		return readObject (r, [&] (const std::string& key, Reader& in) {
			skipWhitespace (in);
			if (key == "bindings" && in.cur < in.end && *in.cur == '[')
			{
				present = true;
				return readBindingArray (in, map);
			}
			return skipValue (in, 1);
		});
	return skipValue (r, 1);
}

bool parseCcMapJson (const char* text, size_t length, CcMap& map)
{
	Reader r {text, text + length};
	skipWhitespace (r);
	if (r.cur >= r.end || (*r.cur != '{' && *r.cur != '['))
		return false;
	bool present = false;
	if (!readCcMapValue (r, map, present))
		return false;
	skipWhitespace (r);
	return r.cur == r.end;
}

} // namespace tavik
