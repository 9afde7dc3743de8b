#include "state_document.h"

#include "base64.h"
#include "fixed_text.h"
#include "json_writer.h"

#include <cmath>
#include <cstring>

namespace tavik {

namespace {

struct FaultName
{
	SamplerAssetDiagnostic value;
	const char* name;
};

const FaultName kFaults[] = {
	{SAMPLER_ASSET_MISSING_IN_MEMORY, "missing-in-memory-asset"},
	{SAMPLER_ASSET_CORRUPT_IN_MEMORY, "corrupt-in-memory-asset"},
	{SAMPLER_ASSET_MOVED_IN_MEMORY, "moved-in-memory-asset"},
	{SAMPLER_ASSET_CHANGED_IN_MEMORY, "changed-in-memory-asset"},
	{SAMPLER_ASSET_UNSUPPORTED_STEREO_SOURCE, "unsupported-stereo-source"},
};

const char* const kZoneNames[] = {
	"legacy-single-zone", "one-shot-drum",    "looped-pad-release", "velocity-round-robin",
	"key-zones-pitch",    "stereo-multi-mic", "choke-and-sustain",  "voice-limit-steal",
};

const char* const kBankSources[] = {"embedded", "module-relative", "user-folder", "hosted"};

template <size_t N>
void clearText (char (&field)[N])
{
	field[0] = 0;
}

// Whether a text read from a document can be held by a fixed text field
// as it is: short enough for its terminator and free of NUL bytes, which
// would otherwise cut it into a different, shorter text.
template <size_t N>
bool fitsField (const std::string& text, const char (&)[N])
{
	return text.size () < N && text.find ('\0') == std::string::npos;
}

// The names compared as whole byte strings, so that a NUL inside a name
// read from a document never matches a shorter known name.
int zoneProgramIndex (const std::string& name)
{
	for (int i = 0; i < 8; ++i)
		if (name == kZoneNames[i])
			return i;
	return -1;
}

bool bankSourceKnown (const std::string& name)
{
	for (const char* known : kBankSources)
		if (name == known)
			return true;
	return false;
}

// Truncation toward zero into a range the field can hold (NaN reads as 0).
int32_t truncateInt32 (double v)
{
	if (!(v == v))
		return 0;
	if (v >= 2147483647.0)
		return INT32_MAX;
	if (v <= -2147483648.0)
		return INT32_MIN;
	return static_cast<int32_t> (v);
}

uint32_t truncateUint32 (double v)
{
	if (!(v >= 0))
		return 0;
	if (v >= 4294967295.0)
		return UINT32_MAX;
	return static_cast<uint32_t> (v);
}

// A number member that the document requires: anything else fails.
bool readRequiredNumber (Reader& r, double& out)
{
	bool isNumber = false;
	return readNumberOrSkip (r, 1, out, isNumber) && isNumber;
}

bool readParams (Reader& r, StateChunk& chunk)
{
	skipWhitespace (r);
	if (r.cur >= r.end || *r.cur != '{')
		return false;
	return readObject (r, [&] (const std::string& key, Reader& in) {
		skipWhitespace (in);
		if (in.cur >= in.end)
			return false;
		const tavik_param_desc* row = tavik_param_find_path (key);
		double value = 0;
		bool flag = false;
		if (readBool (in, flag))
			value = flag ? 1 : 0;
		else
		{
			// Strings, null, arrays and objects set nothing; a t or f that
			// does not begin a literal fails like any other bad text.
			bool isNumber = false;
			if (!readNumberOrSkip (in, 2, value, isNumber))
				return false;
			if (!isNumber)
				return true;
		}
		if (row)
		{
			chunk.values[row->id] = value;
			chunk.present[row->id] = true;
		}
		return true;
	});
}

bool readSampler (Reader& r, StateChunk& chunk)
{
	double version = 0;
	bool hasVersion = false;
	bool padsRead = false;
	SamplerPadOverrides pads;
	const bool ok = readObject (r, [&] (const std::string& key, Reader& in) {
		if (key == "v")
		{
			hasVersion = true;
			return readRequiredNumber (in, version);
		}
		if (key == "pads")
		{
			skipWhitespace (in);
			if (in.cur < in.end && *in.cur == '{')
			{
				padsRead = true;
				return readSamplerPadOverrides (in, pads);
			}
		}
		return skipValue (in, 1);
	});
	if (!ok)
		return false;
	if (hasVersion && version == 1 && padsRead)
	{
		chunk.padOverrides = std::move (pads);
		chunk.hasPadOverrides = true;
	}
	return true;
}

bool readAuthoredState (Reader& r, StateChunk& chunk)
{
	double version = 0;
	std::string bytes;
	const bool ok = readObject (r, [&] (const std::string& key, Reader& in) {
		if (key == "v")
			return readRequiredNumber (in, version);
		skipWhitespace (in);
		if (key == "bytes" && in.cur < in.end && *in.cur == '"')
			return parseString (in, &bytes);
		return skipValue (in, 1);
	});
	if (!ok)
		return false;
	if (!bytes.empty ())
	{
		std::vector<uint8_t> decoded;
		if (base64Decode (bytes, decoded, AUTHORED_STATE_MAX_BYTES))
		{
			chunk.authoredBytes = std::move (decoded);
			chunk.authoredVersion = truncateUint32 (version);
			chunk.hasAuthoredState = true;
		}
	}
	return true;
}

// A reference that cannot be used (not strings, too long, no id) is left
// out rather than failing the document: it only names the preset box.
bool readPresetRef (Reader& r, PresetRef& ref)
{
	PresetRef read;
	const bool ok = readObject (r, [&] (const std::string& key, Reader& in) {
		skipWhitespace (in);
		const char c = in.cur < in.end ? *in.cur : 0;
		if ((key == "id" || key == "name") && c == '"')
			return parseString (in, key == "id" ? &read.id : &read.name);
		if (key == "edited")
			return readBool (in, read.edited) || skipValue (in, 1);
		return skipValue (in, 1);
	});
	if (!ok)
		return false;
	const auto fits = [] (const std::string& text) {
		return text.size () <= PresetRef::MAX_TEXT_BYTES && text.find ('\0') == std::string::npos;
	};
	read.present = !read.id.empty () && fits (read.id) && fits (read.name);
	ref = read.present ? read : PresetRef ();
	return true;
}

bool readBank (Reader& r, StateChunk& chunk)
{
	std::string id, bankVersion, sha256, source, presetId, instrument, locator;
	bool hasSource = false, hasPresetId = false, hasInstrument = false;
	const bool ok = readObject (r, [&] (const std::string& key, Reader& in) {
		skipWhitespace (in);
		std::string* target = key == "id"            ? &id
		                      : key == "bankVersion" ? &bankVersion
		                      : key == "sha256"      ? &sha256
		                      : key == "source"      ? &source
		                      : key == "presetId"    ? &presetId
		                      : key == "instrument"  ? &instrument
		                      : key == "locator"     ? &locator
		                                             : nullptr;
		if (!target || in.cur >= in.end || *in.cur != '"')
			return skipValue (in, 1);
		if (target == &source)
			hasSource = true;
		else if (target == &presetId)
			hasPresetId = true;
		else if (target == &instrument)
			hasInstrument = true;
		return parseString (in, target);
	});
	if (!ok)
		return false;
	BankStateRef& ref = chunk.bankRef;
	if (id.empty ())
		return true;
	if (!fitsField (id, ref.id))
	{
		clearText (ref.id);
		return true;
	}
	copyFixedText (ref.id, id.c_str ());
	if (fitsField (bankVersion, ref.bankVersion))
		copyFixedText (ref.bankVersion, bankVersion.c_str ());
	else
		clearText (ref.bankVersion);
	if (fitsField (sha256, ref.sha256))
		copyFixedText (ref.sha256, sha256.c_str ());
	else
		clearText (ref.sha256);
	if (hasSource && bankSourceKnown (source))
		copyFixedText (ref.source, source.c_str ());
	ref.present = true;
	if (!locator.empty ())
	{
		if (fitsField (locator, ref.locator))
		{
			copyFixedText (ref.locator, locator.c_str ());
			ref.hasLocator = true;
		}
		else
		{
			clearText (ref.locator);
			ref.hasLocator = false;
		}
	}
	if (hasPresetId && !presetId.empty ())
	{
		if (fitsField (presetId, ref.presetId))
		{
			copyFixedText (ref.presetId, presetId.c_str ());
			ref.hasPresetId = true;
		}
		else
		{
			clearText (ref.presetId);
			ref.hasPresetId = false;
		}
	}
	if (hasInstrument)
	{
		if (fitsField (instrument, ref.instrument))
			copyFixedText (ref.instrument, instrument.c_str ());
		else
			clearText (ref.instrument);
	}
	return true;
}

} // namespace

const char* samplerAssetDiagnosticName (SamplerAssetDiagnostic fault)
{
	for (const FaultName& f : kFaults)
		if (f.value == fault)
			return f.name;
	return "none";
}

bool samplerZoneProgramNameKnown (const char* name)
{
	if (!name)
		return false;
	for (const char* known : kZoneNames)
		if (std::strcmp (known, name) == 0)
			return true;
	return false;
}

SamplerZoneProgram samplerZoneProgramFromName (const char* name)
{
	if (name)
		for (uint32_t i = 0; i < 8; ++i)
			if (std::strcmp (kZoneNames[i], name) == 0)
				return static_cast<SamplerZoneProgram> (i);
	return ZONE_LEGACY_SINGLE_ZONE;
}

const char* samplerZoneProgramName (SamplerZoneProgram program)
{
	return program < 8 ? kZoneNames[program] : kZoneNames[0];
}

bool bankSourceNameKnown (const char* name)
{
	if (!name)
		return false;
	for (const char* known : kBankSources)
		if (std::strcmp (known, name) == 0)
			return true;
	return false;
}

std::string writeStateJson (const double* values, int variation, const CcMap* ccMap, SamplerAssetDiagnostic fault,
                            SamplerZoneProgram zoneProgram, const BankStateRefOut* bank,
                            const SamplerPadOverrides* padOverrides, const AuthoredStateOut* authored)
{
	std::string out;
	out.reserve (903);
	JsonMembers doc = JsonMembers::open (out);
	JsonMembers params = doc.object ("params");
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
		params.number (TAVIK_PARAMS[i].path, values[i]);
	params.close ();
	if (variation >= 0)
		doc.integer ("variation", variation);
	if (ccMap)
		writeCcMapJson (doc.member ("ccMap"), *ccMap);
	if (fault != SAMPLER_ASSET_NONE)
		doc.text ("samplerAssetFault", samplerAssetDiagnosticName (fault));
	if (zoneProgram != ZONE_LEGACY_SINGLE_ZONE)
	{
		doc.text ("samplerZoneAbi", "tavik-dual-stack-sampler/zone-layer/v1");
		doc.integer ("samplerZoneVersion", 1);
		doc.text ("samplerZoneProgram", samplerZoneProgramName (zoneProgram));
	}
	if (padOverrides && !padOverrides->empty ())
	{
		JsonMembers sampler = doc.object ("sampler");
		sampler.integer ("v", 1);
		writeSamplerPadOverridesJson (sampler.member ("pads"), *padOverrides);
		sampler.close ();
	}
	if (bank && bank->id && *bank->id)
	{
		JsonMembers ref = doc.object ("bank");
		ref.number ("version", 1);
		ref.text ("id", bank->id);
		ref.optionalText ("bankVersion", bank->bankVersion);
		ref.optionalText ("sha256", bank->sha256);
		ref.optionalText ("locator", bank->locator);
		ref.text ("source", bank->source && *bank->source ? bank->source : "embedded");
		ref.optionalText ("instrument", bank->instrument);
		ref.optionalText ("presetId", bank->presetId);
		ref.close ();
	}
	if (authored && authored->bytes && authored->count)
	{
		JsonMembers state = doc.object ("authoredState");
		state.integer ("v", authored->version);
		state.member ("bytes") += "\"";
		base64Append (out, authored->bytes, authored->count);
		out += "\"";
		state.close ();
	}
	doc.close ();
	return out;
}

void writePresetRefJson (std::string& out, const PresetRef& ref)
{
	JsonMembers m = JsonMembers::open (out);
	m.text ("id", ref.id.c_str ());
	m.text ("name", ref.name.c_str ());
	if (ref.edited)
		m.boolean ("edited", true);
	m.close ();
}

bool readStateDocument (Reader& r, StateChunk& chunk)
{
	skipWhitespace (r);
	if (r.cur >= r.end || *r.cur != '{')
		return false;
	return readObject (r, [&] (const std::string& key, Reader& in) {
		skipWhitespace (in);
		const char c = in.cur < in.end ? *in.cur : 0;
		if (key == "params")
			return readParams (in, chunk);
		if (key == "variation")
		{
			double v = 0;
			if (!readRequiredNumber (in, v))
				return false;
			chunk.variation = truncateInt32 (v);
			return true;
		}
		if (key == "ccMap")
		{
			bool present = false;
			if (!readCcMapValue (in, chunk.ccMap, present))
				return false;
			chunk.hasCcMap = present;
			return true;
		}
		if (key == "samplerAssetFault" || key == "samplerZoneProgram")
		{
			std::string name;
			if (c != '"' || !parseString (in, &name))
				return false;
			if (key == "samplerAssetFault")
			{
				chunk.samplerAssetFault = SAMPLER_ASSET_NONE;
				chunk.hasSamplerAssetFault = false;
				for (const FaultName& f : kFaults)
					if (name == f.name)
					{
						chunk.samplerAssetFault = f.value;
						chunk.hasSamplerAssetFault = true;
					}
			}
			else if (const int program = zoneProgramIndex (name); program >= 0)
			{
				chunk.samplerZoneProgram = static_cast<SamplerZoneProgram> (program);
				chunk.hasSamplerZoneProgram = true;
			}
			return true;
		}
		if (key == "sampler" && c == '{')
			return readSampler (in, chunk);
		if (key == "authoredState" && c == '{')
			return readAuthoredState (in, chunk);
		if (key == "bank" && c == '{')
			return readBank (in, chunk);
		if (key == "preset" && c == '{')
			return readPresetRef (in, chunk.preset);
		return skipValue (in, 1);
	});
}

bool parseStateJson (const char* text, size_t length, StateChunk& chunk)
{
	Reader r {text, text + length};
	if (!readStateDocument (r, chunk))
		return false;
	skipWhitespace (r);
	return r.cur == r.end;
}

uint32_t resolveBankStateRef (const StateChunk& chunk, uint32_t&)
{
	return chunk.bankRef.present && chunk.bankRef.id[0] ? 2 : 0;
}

} // namespace tavik
