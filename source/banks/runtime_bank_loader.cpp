#include "runtime_bank_loader.h"

#include "bank_files.h"
#include "bank_paths.h"
#include "json_tree.h"
#include "number_text.h"
#include "wav_decoder.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>
#include <vector>

namespace tavik {

namespace {

const char* const MANIFEST_FORMAT = "tavik-sound-pack/v1";
const char* const INSTRUMENT_FORMAT = "tavik-sampler-instrument/v1";
const char* const NO_INSTRUMENT_DOCUMENT = "bank.json names no readable instrument/kit document";
const char* const ELLIPSIS = "\xE2\x80\xA6"; // U+2026 in UTF-8

using Kind = JsonValue::Kind;

const JsonValue* memberOfKind (const JsonValue& object, const char* key, Kind kind)
{
	const JsonValue* member = object.find (key);
	return member && member->kind == kind ? member : nullptr;
}

const JsonValue* number (const JsonValue& object, const char* key) { return memberOfKind (object, key, Kind::Number); }

double numberOr (const JsonValue& object, const char* key, double fallback)
{
	const JsonValue* member = number (object, key);
	return member ? member->number : fallback;
}

bool booleanOr (const JsonValue& object, const char* key, bool fallback)
{
	const JsonValue* member = memberOfKind (object, key, Kind::Boolean);
	return member ? member->boolean : fallback;
}

// Negative values and NaN become 0, the rest is truncated, saturating at
// the top of the range instead of overflowing.
uint64_t truncatedUnsigned (double value)
{
	if (!(value > 0.0))
		return 0;
	if (value >= 18446744073709551615.0)
		return UINT64_MAX;
	return static_cast<uint64_t> (value);
}

uint32_t saturated32 (uint64_t value) { return value > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t> (value); }

// A MIDI note or velocity: a positive number rounded and capped at 127,
// any other number 0, `fallback` when the member is absent or no number.
uint32_t midiValue (const JsonValue& object, const char* key, uint32_t fallback)
{
	const JsonValue* member = number (object, key);
	if (!member)
		return fallback;
	if (!(member->number > 0.0))
		return 0;
	const double rounded = std::trunc (member->number + 0.5);
	return rounded >= 127.0 ? 127u : static_cast<uint32_t> (rounded);
}

// A declared byte count as plain decimal digits where it is a whole number.
std::string declaredBytesText (double bytes)
{
	if (bytes == std::trunc (bytes) && bytes < 18446744073709551615.0)
		return std::to_string (static_cast<uint64_t> (bytes));
	if (!std::isfinite (bytes))
		return "inf";
	std::string text;
	appendShortestNumber (text, bytes);
	return text;
}

enum class DocumentRead
{
	Read,
	Escapes,   // a path leading out of the bank, by its text or through a link
	Missing,   // absent, not a regular file or unreadable
	TooLarge,  // above the byte limit
	NotObject, // not a JSON object (or over the value budget)
};

// One verified asset file, kept until its frames are in the arena.
struct VerifiedAsset
{
	std::vector<uint8_t> bytes;
};

// One distinct asset the zones use, in order of first use.
struct UsedAsset
{
	VerifiedAsset* asset = nullptr;
	WavLayout layout;
	uint32_t offset = 0;
};

class BankLoader
{
public:
	BankLoader (const std::string& bankDirectory, uint64_t maxFrames, const std::string& requestedId,
	            const RuntimeBankLimits& loadLimits)
		: directory (bankDirectory), maxArenaFrames (maxFrames), requested (requestedId), limits (loadLimits)
	{
	}

	RuntimeBankLoad run ()
	{
		if (readManifest () && verifyAssets ())
		{
			listPositioning ();
			readPresets ();
			if (chooseDocument () && readInstrument () && decodeAssets () && buildArena ())
			{
				buildZones ();
				finish ();
			}
		}
		return std::move (result);
	}

private:
	bool fail (uint32_t outcome, std::string message)
	{
		result.outcome = outcome;
		result.message = std::move (message);
		return false;
	}

	bool failEmptied (uint32_t outcome, std::string message)
	{
		result.bank = StagedBank ();
		return fail (outcome, std::move (message));
	}

	// Reads and parses a JSON document named by a manifest, refusing paths
	// that lead out of the bank and documents above `maxBytes`.
	DocumentRead readDocument (const std::string& relative, uint64_t maxBytes, JsonValue& out, uint64_t& size)
	{
		size = 0;
		if (!pathIsContained (relative))
			return DocumentRead::Escapes;
		std::string resolved;
		switch (resolveBankPath (directory, relative, resolved))
		{
			case BankPathResolution::Outside: return DocumentRead::Escapes;
			case BankPathResolution::Unresolved: return DocumentRead::Missing;
			case BankPathResolution::Inside: break;
		}
		std::vector<uint8_t> bytes;
		switch (readBoundedFile (resolved, maxBytes, bytes, size))
		{
			case FileRead::Unreadable: return DocumentRead::Missing;
			case FileRead::TooLarge: return DocumentRead::TooLarge;
			case FileRead::Read: break;
		}
		if (!parseJsonDocument (bytes, out, limits.documentValues) || out.kind != Kind::Object)
			return DocumentRead::NotObject;
		return DocumentRead::Read;
	}

	bool readManifest ()
	{
		const std::string path = joinPath (directory, "bank.json");
		// No folder named is no bank: the host's working directory is not
		// searched for one, neither for an empty name nor a relative one.
		if (directory.empty ())
			return fail (RUNTIME_BANK_MISSING, "cannot read " + path);
		if (directory[0] != '/')
			return fail (RUNTIME_BANK_MISSING, "bank directory is not an absolute path: " + directory);
		// The manifest is held to the same containment as every file it
		// names: a bank.json that links out of the bank is refused rather
		// than read, digested and reported.
		std::string resolved;
		const BankPathResolution where = resolveBankPath (directory, "bank.json", resolved);
		if (where == BankPathResolution::Outside)
			return fail (RUNTIME_BANK_MALFORMED, "bank.json path escapes the bank directory");
		std::vector<uint8_t> bytes;
		uint64_t size = 0;
		const FileRead read = where == BankPathResolution::Inside
		                          ? readBoundedFile (resolved, limits.documentBytes, bytes, size)
		                          : FileRead::Unreadable;
		if (read == FileRead::Unreadable)
			return fail (RUNTIME_BANK_MISSING, "cannot read " + path);
		if (read == FileRead::TooLarge)
			return fail (RUNTIME_BANK_MALFORMED,
			             "bank.json is larger than the " + byteLimitText (limits.documentBytes) + " document limit");

		if (!parseJsonDocument (bytes, manifest, limits.documentValues) || manifest.kind != Kind::Object)
			return fail (RUNTIME_BANK_MALFORMED, "bank.json is not a JSON object");
		const std::string format = manifest.str ("format", "");
		if (format != MANIFEST_FORMAT)
			return fail (RUNTIME_BANK_MALFORMED,
			             "bank.json format is \"" + format + "\", expected " + std::string (MANIFEST_FORMAT));

		std::string id = manifest.str ("id", "");
		if (id.empty ())
			return fail (RUNTIME_BANK_MALFORMED, "bank.json declares no id");
		result.bank.id = std::move (id);
		result.bank.version = manifest.str ("version", "");
		result.bank.name = manifest.str ("name", "");
		result.bank.sha256 = sha256Hex (bytes.data (), bytes.size ());
		return true;
	}

	bool verifyAssets ()
	{
		const JsonValue* table = memberOfKind (manifest, "assetTable", Kind::Array);
		if (!table || table->items.empty ())
			return fail (RUNTIME_BANK_MALFORMED, "bank.json declares no assetTable");
		uint64_t bytesRead = 0;
		for (const JsonValue& entry : table->items)
		{
			if (entry.kind != Kind::Object)
				continue;
			const std::string id = entry.str ("id", "");
			const std::string path = entry.str ("path", "");
			if (id.empty () || path.empty ())
				return fail (RUNTIME_BANK_MALFORMED, "assetTable entry missing id or path");
			const std::string escapes = "asset \"" + id + "\" path escapes the bank directory";
			if (!pathIsContained (path))
				return fail (RUNTIME_BANK_MALFORMED, escapes);
			std::string resolved;
			const BankPathResolution where = resolveBankPath (directory, path, resolved);
			if (where == BankPathResolution::Outside)
				return fail (RUNTIME_BANK_MALFORMED, escapes);
			const std::string codec = entry.str ("codec", "wav");
			if (codec != "wav")
				return fail (RUNTIME_BANK_UNSUPPORTED_CODEC,
				             "asset \"" + id + "\" codec \"" + codec +
				                 "\" is not decoded by the native runtime loader (wav only)");

			// Every file read counts against the bank's total, replaced
			// entries included, so repeating one entry cannot read forever.
			const uint64_t room = limits.allAssetBytes - bytesRead;
			std::vector<uint8_t> bytes;
			uint64_t size = 0;
			const FileRead read = where == BankPathResolution::Inside
			                          ? readBoundedFile (resolved, std::min (limits.assetBytes, room), bytes, size)
			                          : FileRead::Unreadable;
			if (read == FileRead::Unreadable)
				return fail (RUNTIME_BANK_MISSING, "asset \"" + id + "\" file missing: " + path);
			if (read == FileRead::TooLarge && size > limits.assetBytes)
				return fail (RUNTIME_BANK_TOO_LARGE, "asset \"" + id + "\" is larger than the " +
				                                         byteLimitText (limits.assetBytes) + " asset limit");
			if (read == FileRead::TooLarge)
				return fail (RUNTIME_BANK_TOO_LARGE, "asset \"" + id + "\" takes the bank's assets past the " +
				                                         byteLimitText (limits.allAssetBytes) +
				                                         " limit for all assets");
			bytesRead += size;

			const double declared = numberOr (entry, "bytes", -1.0);
			if (declared >= 0.0 && declared != static_cast<double> (size))
				return fail (RUNTIME_BANK_HASH_MISMATCH, "asset \"" + id + "\" is " + std::to_string (size) +
				                                             " bytes, manifest declares " +
				                                             declaredBytesText (declared));
			const std::string expected = entry.str ("sha256", "");
			if (!expected.empty ())
			{
				const std::string digest = sha256Hex (bytes.data (), bytes.size ());
				if (digest != expected)
					return fail (RUNTIME_BANK_HASH_MISMATCH, "asset \"" + id + "\" sha256 " + digest.substr (0, 16) +
					                                             ELLIPSIS + " does not match the manifest");
			}
			assets[id].bytes = std::move (bytes);
		}
		return true;
	}

	// Calls `visit (kind, item)` for every object listed under "instruments",
	// then "kits", until it returns true; whether one did.
	template <typename Visit>
	bool visitListed (Visit visit) const
	{
		for (const char* kind : {"instruments", "kits"})
		{
			const JsonValue* list = memberOfKind (manifest, kind, Kind::Array);
			if (!list)
				continue;
			for (const JsonValue& item : list->items)
				if (item.kind == Kind::Object && visit (kind, item))
					return true;
		}
		return false;
	}

	void listPositioning ()
	{
		visitListed ([&] (const char* kind, const JsonValue& item) {
			std::string id = item.str ("id", "");
			if (!id.empty ())
				result.bank.positioning.push_back ({std::move (id), item.str ("name", ""), kind});
			return false;
		});
	}

	void readPresets ()
	{
		const JsonValue* list = memberOfKind (manifest, "presets", Kind::Array);
		if (!list)
			return;
		// Presets may share a document or repeat one: their reading as a
		// whole is bounded, and presets past the bound are dropped.
		uint64_t room = limits.presetDocumentBytes;
		for (const JsonValue& item : list->items)
		{
			if (item.kind != Kind::Object)
				continue;
			StagedPreset preset;
			preset.id = item.str ("id", "");
			if (preset.id.empty ())
				continue;
			preset.name = item.str ("name", "");
			if (preset.name.empty ())
				preset.name = preset.id;
			preset.instrument = item.str ("instrument", "");

			JsonValue document;
			uint64_t size = 0;
			const DocumentRead read =
				readDocument (item.str ("document", ""), std::min (limits.documentBytes, room), document, size);
			room -= std::min (room, size);
			if (read != DocumentRead::Read)
				continue;
			const JsonValue* params = memberOfKind (document, "params", Kind::Object);
			if (!params)
				continue;
			for (const auto& [name, value] : params->members)
				if (value.kind == Kind::Number && std::isfinite (value.number))
					preset.params.emplace_back (name, value.number);
			if (!preset.params.empty ())
				result.bank.presets.push_back (std::move (preset));
		}
	}

	bool chooseDocument ()
	{
		const bool found = visitListed ([&] (const char* kind, const JsonValue& item) {
			const std::string id = item.str ("id", "");
			if ((!requested.empty () && id != requested) || item.str ("document", "").empty ())
				return false;
			result.bank.instrumentId = id;
			result.bank.instrumentName = item.str ("name", "");
			result.bank.instrumentKind = kind;
			documentPath = item.str ("document", "");
			return true;
		});
		if (found)
			return true;
		if (requested.empty ())
			return fail (RUNTIME_BANK_MALFORMED, NO_INSTRUMENT_DOCUMENT);
		std::string known;
		for (const StagedPositioning& entry : result.bank.positioning)
			known += (known.empty () ? "" : ", ") + entry.id;
		return fail (RUNTIME_BANK_INSTRUMENT_UNKNOWN,
		             "bank " + result.bank.id + " has no instrument or kit \"" + requested + "\"" +
		                 (known.empty () ? std::string (" (the bank lists none)") : " (known: " + known + ")"));
	}

	bool readInstrument ()
	{
		uint64_t size = 0;
		switch (readDocument (documentPath, limits.documentBytes, instrument, size))
		{
			case DocumentRead::Escapes: return fail (RUNTIME_BANK_MALFORMED, NO_INSTRUMENT_DOCUMENT);
			case DocumentRead::Missing:
				return fail (RUNTIME_BANK_MISSING, "instrument document missing: " + documentPath);
			case DocumentRead::TooLarge:
				return fail (RUNTIME_BANK_TOO_LARGE, "instrument document is larger than the " +
				                                         byteLimitText (limits.documentBytes) + " document limit");
			case DocumentRead::NotObject:
				return fail (RUNTIME_BANK_MALFORMED, "instrument document is not a JSON object");
			case DocumentRead::Read: break;
		}
		const std::string format = instrument.str ("format", "");
		if (format != INSTRUMENT_FORMAT)
			return fail (RUNTIME_BANK_MALFORMED, "instrument document format is \"" + format + "\", expected " +
			                                         std::string (INSTRUMENT_FORMAT));
		zones = memberOfKind (instrument, "zones", Kind::Array);
		if (!zones || zones->items.empty ())
			return fail (RUNTIME_BANK_MALFORMED, "instrument document declares no zones");
		return true;
	}

	// Checks every zone's asset and reads the layout of each distinct one,
	// once, in order of first use; the frames are converted into the arena
	// once its size is known.
	bool decodeAssets ()
	{
		for (const JsonValue& zone : zones->items)
		{
			if (zone.kind != Kind::Object)
				continue;
			const std::string assetId = zone.str ("assetId", "");
			const auto verified = assets.find (assetId);
			if (verified == assets.end ())
				return fail (RUNTIME_BANK_MALFORMED, "zone \"" + zone.str ("id", "") + "\" names asset \"" + assetId +
				                                         "\" which the assetTable does not declare");
			if (used.count (assetId))
				continue;
			UsedAsset asset;
			asset.asset = &verified->second;
			std::string error;
			if (!readWavLayout (asset.asset->bytes.data (), asset.asset->bytes.size (), asset.layout, error))
				return fail (RUNTIME_BANK_UNSUPPORTED_CODEC, "asset \"" + assetId + "\": " + error);
			used.emplace (assetId, order.size ());
			order.push_back (asset);
		}
		return true;
	}

	bool buildArena ()
	{
		uint64_t frames = 0;
		for (const UsedAsset& asset : order)
			frames += asset.layout.frames;
		if (maxArenaFrames != 0 && frames > maxArenaFrames)
			return failEmptied (RUNTIME_BANK_TOO_LARGE, "bank needs " + std::to_string (frames) +
			                                                " arena frames, the kernel published " +
			                                                std::to_string (maxArenaFrames));
		if (frames > limits.arenaFrames)
			return failEmptied (RUNTIME_BANK_TOO_LARGE, "bank needs " + std::to_string (frames) +
			                                                " arena frames, above the " +
			                                                std::to_string (limits.arenaFrames) + "-frame arena limit");
		std::vector<float>& arena = result.bank.samples;
		arena.reserve (static_cast<size_t> (frames));
		for (UsedAsset& asset : order)
		{
			asset.offset = static_cast<uint32_t> (arena.size ());
			appendWavFrames (asset.asset->bytes.data (), asset.layout, arena);
			asset.asset = nullptr;
		}
		assets.clear (); // the files are no longer needed
		return true;
	}

	void buildZones ()
	{
		for (const JsonValue& item : zones->items)
			if (item.kind == Kind::Object)
				result.bank.zones.push_back (buildZone (item, order[used.at (item.str ("assetId", ""))]));
		if (!result.bank.zones.empty ())
		{
			const double rate = result.bank.zones.front ().sampleRate;
			result.bank.sampleRate = rate == 0.0 ? 48000.0 : rate;
		}
	}

	static StagedZone buildZone (const JsonValue& item, const UsedAsset& asset)
	{
		StagedZone zone;
		zone.id = item.str ("id", "");
		const uint64_t assetFrames = asset.layout.frames;
		zone.assetOffset = asset.offset;
		zone.assetFrames = static_cast<uint32_t> (assetFrames);

		uint64_t start = 0;
		if (const JsonValue* member = number (item, "startFrame"))
		{
			const uint64_t s = truncatedUnsigned (member->number);
			start = s < assetFrames ? s : 0;
		}
		uint64_t count = assetFrames - start;
		if (const JsonValue* member = number (item, "endFrame"))
		{
			const uint64_t e = truncatedUnsigned (member->number);
			if (e > start)
				count = std::min (e - start, assetFrames - start);
		}
		zone.sampleStart = static_cast<uint32_t> (asset.offset + start);
		zone.frameCount = static_cast<uint32_t> (count);
		zone.sampleRate = asset.layout.sampleRate;

		zone.lowKey = midiValue (item, "lowKey", 0);
		zone.highKey = midiValue (item, "highKey", 127);
		zone.rootKey = midiValue (item, "rootKey", 60);
		zone.keyTracking = booleanOr (item, "keyTracking", true);
		zone.lowVelocity = midiValue (item, "lowVelocity", 0);
		zone.highVelocity = midiValue (item, "highVelocity", 127);
		zone.gain = numberOr (item, "gain", 1.0);
		zone.pan = numberOr (item, "pan", 0.0);
		zone.fineTuneCents = numberOr (item, "fineTuneCents", 0.0);
		zone.roundRobinGroup = saturated32 (truncatedUnsigned (numberOr (item, "roundRobinGroup", 0.0)));
		zone.chokeGroup = saturated32 (truncatedUnsigned (numberOr (item, "chokeGroup", 0.0)));
		const std::string trigger = item.str ("trigger", "attack");
		zone.trigger = trigger == "release" ? 1u : trigger == "legato" ? 2u : 0u;
		zone.attackSeconds = numberOr (item, "attackSeconds", 0.001);
		zone.releaseSeconds = numberOr (item, "releaseSeconds", 0.05);
		zone.reverse = booleanOr (item, "reverse", false);
		zone.filterCutoffHz = numberOr (item, "filterCutoffHz", 0.0);
		zone.filterResonance = numberOr (item, "filterResonance", 0.0);

		const JsonValue* loopStart = number (item, "loopStartFrame");
		const JsonValue* loopEnd = number (item, "loopEndFrame");
		if (item.str ("loopMode", "none") == "forward" && loopStart && loopEnd)
		{
			const uint64_t ls = truncatedUnsigned (loopStart->number);
			const uint64_t le = truncatedUnsigned (loopEnd->number);
			zone.requestedLoopStart = saturated32 (ls);
			zone.requestedLoopEnd = saturated32 (le);
			if (ls >= start && ls < le && count >= le - start)
			{
				zone.looping = true;
				zone.loopStart = static_cast<uint32_t> (ls - start);
				zone.loopEnd = static_cast<uint32_t> (le - start);
				const uint64_t crossfade = truncatedUnsigned (numberOr (item, "loopCrossfadeFrames", 0.0));
				zone.requestedCrossfade = saturated32 (crossfade);
				zone.loopCrossfade =
					crossfade <= zone.loopEnd - zone.loopStart ? static_cast<uint32_t> (crossfade) : 0u;
			}
		}
		return zone;
	}

	void finish ()
	{
		if (result.bank.zones.empty () || result.bank.samples.empty ())
		{
			failEmptied (RUNTIME_BANK_MALFORMED, "bank staged no zones or no samples");
			return;
		}
		result.outcome = RUNTIME_BANK_OK;
		result.message.clear ();
	}

	const std::string& directory;
	const uint64_t maxArenaFrames;
	const std::string& requested;
	const RuntimeBankLimits& limits;

	RuntimeBankLoad result;
	JsonValue manifest;
	JsonValue instrument;
	const JsonValue* zones = nullptr;
	std::string documentPath;
	std::map<std::string, VerifiedAsset> assets;
	std::map<std::string, size_t> used; // asset id -> index in `order`
	std::vector<UsedAsset> order;
};

} // namespace

RuntimeBankLoad loadRuntimeBank (const std::string& directory, uint64_t maxArenaFrames,
                                 const std::string& requestedInstrument, const RuntimeBankLimits& limits)
{
	return BankLoader (directory, maxArenaFrames, requestedInstrument, limits).run ();
}

RuntimeBankLoad loadRuntimeBank (const std::string& directory, uint64_t maxArenaFrames,
                                 const std::string& requestedInstrument)
{
	return loadRuntimeBank (directory, maxArenaFrames, requestedInstrument, RuntimeBankLimits ());
}

} // namespace tavik
