#include "sampler_pad_overrides.h"

#include "json_writer.h"

#include <cmath>

namespace tavik {

const char* const PAD_OVERRIDE_MEMBER_NAMES[PAD_OVERRIDE_MEMBER_COUNT] = {
	"transpose",  "fineTune",        "gain",
	"pan",        "start",           "end",
	"attack",     "release",         "filterHz",
	"resonance",  "reverse",         "muted",
	"chokeGroup", "roundRobinGroup", "velocitySensitivity",
};

namespace {

struct MemberRule
{
	double defaultValue;
	double lo;
	double hi;
	bool whole;  // whole numbers only
	bool binary; // exactly 0 or 1
};

const MemberRule kRules[PAD_OVERRIDE_MEMBER_COUNT] = {
	{0, -24, 24, true, false},        // transpose
	{0, -100, 100, false, false},     // fineTune
	{1, 0, 4, false, false},          // gain
	{0, -1, 1, false, false},         // pan
	{0, 0, 1, false, false},          // start
	{1, 0, 1, false, false},          // end
	{0, 0, 2, false, false},          // attack
	{0.025, 0.001, 4, false, false},  // release
	{20000, 20, 20000, false, false}, // filterHz
	{0.7, 0.1, 18, false, false},     // resonance
	{0, 0, 1, false, true},           // reverse
	{0, 0, 1, false, true},           // muted
	{0, 0, 8, true, false},           // chokeGroup
	{0, 0, 8, true, false},           // roundRobinGroup
	{1, 0, 1, false, false},          // velocitySensitivity
};

bool accepts (int member, double v)
{
	const MemberRule& rule = kRules[member];
	if (!std::isfinite (v) || v < rule.lo || v > rule.hi)
		return false;
	if (rule.whole && std::floor (v) != v)
		return false;
	if (rule.binary && v != 0 && v != 1)
		return false;
	return true;
}

bool readPad (Reader& r, const std::string& key, SamplerPadOverrides& list)
{
	SamplerPadOverride pad;
	pad.padKey = key;
	const bool ok = readObject (r, [&] (const std::string& name, Reader& in) {
		double v = 0;
		bool isNumber = false;
		if (!readNumberOrSkip (in, 2, v, isNumber))
			return false;
		if (!isNumber)
			return true;
		for (int m = 0; m < PAD_OVERRIDE_MEMBER_COUNT; ++m)
		{
			if (name == PAD_OVERRIDE_MEMBER_NAMES[m])
			{
				if (accepts (m, v))
				{
					pad.values[m] = v;
					pad.mask |= 1u << m;
				}
				break;
			}
		}
		return true;
	});
	if (!ok)
		return false;
	// Pads without a usable member are dropped, and so are keys no zone can
	// have: longer than any pad key can be, or holding a NUL byte, which the
	// map's writer would cut into a different, shorter key.
	if (pad.mask == 0 || key.size () > PAD_KEY_MAX_BYTES || key.find ('\0') != std::string::npos)
		return true;
	for (SamplerPadOverride& existing : list)
		if (existing.padKey == key)
		{
			existing = pad;
			return true;
		}
	if (list.size () < PAD_OVERRIDE_CAPACITY)
		list.push_back (pad);
	return true;
}

} // namespace

SamplerPadOverride::SamplerPadOverride ()
{
	for (int m = 0; m < PAD_OVERRIDE_MEMBER_COUNT; ++m)
		values[m] = kRules[m].defaultValue;
}

double SamplerPadOverride::value (PadOverrideBit bit) const
{
	for (int m = 0; m < PAD_OVERRIDE_MEMBER_COUNT; ++m)
		if (bit == (1u << m))
			return values[m];
	return 0;
}

void writeSamplerPadOverridesJson (std::string& out, const SamplerPadOverrides& overrides)
{
	JsonMembers pads = JsonMembers::open (out);
	for (const SamplerPadOverride& pad : overrides)
	{
		if (pad.padKey.empty () || pad.mask == 0)
			continue;
		JsonMembers members = pads.object (pad.padKey.c_str ());
		for (int m = 0; m < PAD_OVERRIDE_MEMBER_COUNT; ++m)
			if (pad.mask & (1u << m))
				members.number (PAD_OVERRIDE_MEMBER_NAMES[m], pad.values[m]);
		members.close ();
	}
	pads.close ();
}

bool readSamplerPadOverrides (Reader& r, SamplerPadOverrides& out)
{
	SamplerPadOverrides list;
	size_t members = 0;
	skipWhitespace (r);
	if (r.cur >= r.end || *r.cur != '{')
		return false;
	const bool ok = readObject (r, [&] (const std::string& key, Reader& in) {
		++members;
		skipWhitespace (in);
		if (in.cur < in.end && *in.cur == '{')
			return readPad (in, key, list);
		return skipValue (in, 1);
	});
	if (!ok)
		return false;
	// A map with more members than pads can exist is not taken at all.
	if (members > PAD_OVERRIDE_CAPACITY)
		list.clear ();
	out = std::move (list);
	return true;
}

bool parseSamplerPadOverridesJson (const char* text, size_t length, SamplerPadOverrides& overrides)
{
	Reader r {text, text + length};
	SamplerPadOverrides read;
	if (!readSamplerPadOverrides (r, read))
		return false;
	skipWhitespace (r);
	if (r.cur != r.end)
		return false;
	overrides = std::move (read);
	return true;
}

} // namespace tavik
