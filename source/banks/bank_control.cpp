#include "bank_control.h"

#include "bridge_message.h"
#include "redacted_url.h"
#include "runtime_bank_reply.h"

#include "factory_presets.h"
#include "json_writer.h"
#include "number_text.h"

#include <cstdio>

namespace tavik {

namespace {

// The first `count` tab-separated fields of a line, the last keeping the rest.
std::vector<std::string> splitFields (const std::string& line, size_t count)
{
	std::vector<std::string> fields;
	size_t pos = 0;
	while (fields.size () + 1 < count)
	{
		const size_t tab = line.find ('\t', pos);
		if (tab == std::string::npos)
			break;
		fields.push_back (line.substr (pos, tab - pos));
		pos = tab + 1;
	}
	fields.push_back (pos <= line.size () ? line.substr (pos) : std::string ());
	fields.resize (count);
	return fields;
}

} // namespace

bool BankControl::handleMessage (const BridgeMessage& m)
{
	const std::string& type = m.type;
	if (type == "tavik.setPadOverrides")
	{
		if (m.hasPads)
			setPadOverrides (m.pads);
		return true;
	}
	if (type == "tavik.loadBankPreset")
	{
		if (m.id.empty ())
			return false;
		handleBankPreset (m.id);
		return true;
	}
	if (type == "tavik.loadBank")
	{
		if (!m.source.empty () && m.source != "embedded")
			handleRuntimeBank (m.source, m.bankPath, m.instrument, m.url, m.sha256);
		else if (!m.id.empty ())
			handleCompiledBank (m.id);
		return true;
	}
	if (type == "tavik.pickFolder")
	{
		handlePickFolder ();
		return true;
	}
	if (type == "tavik.getBankState")
	{
		sendBankState ("query", nullptr, nullptr);
		return true;
	}
	return false;
}

void BankControl::handleRuntimeBank (const std::string& kind, const std::string& bankPath,
                                     const std::string& requestedInstrument, const std::string& url,
                                     const std::string& digest)
{
	fetches.cancel ();
	if (kind != "hosted")
	{
		requestLoad (kind, bankPath, requestedInstrument, url, digest);
		return;
	}
	HostedFetchPlan plan;
	std::string cached, error;
	switch (prepareHostedFetch (url, digest, plan, cached, error))
	{
		case HostedFetchStart::Cached: requestLoad (kind, cached, requestedInstrument, url, digest); return;
		case HostedFetchStart::Failed: reportFetchFailure (url, error); return;
		case HostedFetchStart::Download: break;
	}
	if (!fetches.start (plan, fetchOptions, error))
	{
		reportFetchFailure (url, error);
		return;
	}
	pending = PendingFetch {kind, requestedInstrument, url, digest};
}

void BankControl::pollHostedFetch ()
{
	HostedFetchResult result;
	if (!fetches.poll (result))
		return;
	const PendingFetch request = std::move (pending);
	pending = PendingFetch ();
	if (!result.ok)
		reportFetchFailure (request.url, result.error);
	else
		requestLoad (request.source, result.bankDirectory, request.instrument, request.url, request.digest);
}

void BankControl::reportFetchFailure (const std::string& url, const std::string& why)
{
	// The bank state carries only the code; the reason goes to the log.
	const std::string shown = redactedUrl (url);
	std::fprintf (stderr, "tavik-plugin-shell: hosted bank: %s (%s)\n", why.c_str (), shown.c_str ());
	sendBankState ("loadBank", "bank-fetch-failed", shown.c_str ());
}

void BankControl::requestLoad (const std::string& kind, const std::string& bankPath,
                               const std::string& requestedInstrument, const std::string& url,
                               const std::string& digest)
{
	if (bankPath.empty ())
	{
		sendBankState ("loadBank", "bank-missing", kind.c_str ());
		return;
	}
	source = kind;
	locator = kind == "hosted" ? url : bankPath;
	sha256 = digest;
	instrument = requestedInstrument;
	host.requestRuntimeBank (kind, bankPath, digest, requestedInstrument);
}

void BankControl::handleCompiledBank (const std::string& id)
{
	sendBankState ("loadBank", "bank-missing", id.c_str ());
}

void BankControl::adoptRestoredRef (const std::string& refSource, const std::string& refLocator,
                                    const std::string& digest, const std::string& refInstrument,
                                    const std::string& presetId)
{
	source = refSource;
	locator = refLocator;
	sha256 = digest;
	instrument = refInstrument;
	currentPresetId = presetId;
}

std::string BankControl::encodeRuntimeBankReply (const char* outcome, const std::string& message,
                                                 const StagedBank* bank)
{
	return tavik::encodeRuntimeBankReply (outcome, message, bank);
}

void BankControl::handleBankPreset (const std::string& id)
{
	const BankControlPreset* found = nullptr;
	for (const BankControlPreset& p : presets)
		if (p.id == id)
		{
			found = &p;
			break;
		}
	if (!found)
	{
		sendBankState ("loadBank", "bank-missing", id.c_str ());
		return;
	}
	const BankControlPreset preset = *found; // a reload below replaces the list
	const bool otherInstrument = !preset.instrument.empty () && preset.instrument != instrumentId;
	if (otherInstrument && !source.empty () && !locator.empty ())
		handleRuntimeBank (source, locator, preset.instrument, locator, sha256);
	for (const auto& [path, value] : preset.params)
		if (const tavik_param_desc* row = tavik_param_find_path (path))
			host.editParam (row->id, value);
	currentPresetId = preset.id;
	host.notePresetSelected (preset.id, preset.name);
	if (!otherInstrument)
		sendBankState ("loadBank", nullptr, nullptr);
}

void BankControl::handlePickFolder ()
{
	std::string path, error;
	std::string out = "{\"type\":\"tavik.folderPicked\",\"ok\":";
	if (host.pickFolder (path, error))
	{
		out += "true,\"path\":";
		jsonAppendStrictQuoted (out, path.c_str ());
	}
	else if (!error.empty ())
	{
		out += "false,\"error\":";
		jsonAppendStrictQuoted (out, error.c_str ());
	}
	else
		out += "false,\"cancelled\":true";
	out += '}';
	host.sendBankJson (out);
}

bool BankControl::setPadOverrides (const SamplerPadOverrides& overrides)
{
	if (!host.applyPadOverrides (overrides))
		return false;
	padOverrides = overrides;
	sendBankState ("setPadOverrides", nullptr, nullptr);
	return true;
}

void BankControl::adoptRuntimeBankReply (const std::string& reply)
{
	std::vector<std::string> lines;
	for (size_t pos = 0;;)
	{
		const size_t end = reply.find ('\n', pos);
		lines.push_back (reply.substr (pos, end == std::string::npos ? std::string::npos : end - pos));
		if (end == std::string::npos)
			break;
		pos = end + 1;
	}
	if (lines[0] != "ok")
	{
		const std::string requested = !instrument.empty () ? instrument : shownLocator ();
		clearRuntimeFacts ();
		sendBankState ("loadBank", lines[0].c_str (), requested.c_str ());
		return;
	}
	runtimeActive = true;
	instrumentId.clear ();
	instrumentName.clear ();
	instrumentList.clear ();
	positionings.clear ();
	presets.clear ();
	bool instrumentSeen = false;
	for (size_t i = 2; i < lines.size (); ++i)
	{
		const std::string& line = lines[i];
		if (line.empty ())
			continue;
		if (line[0] == '\x01')
		{
			const std::vector<std::string> fields = splitFields (line.substr (1), 4);
			BankControlPreset preset {fields[0], fields[1], fields[2], {}};
			for (size_t pos = 0; !fields[3].empty () && pos <= fields[3].size ();)
			{
				const size_t end = fields[3].find ('\x1F', pos);
				const std::string item =
					fields[3].substr (pos, end == std::string::npos ? std::string::npos : end - pos);
				const size_t equals = item.find ('=');
				if (equals != std::string::npos)
					preset.params.emplace_back (item.substr (0, equals),
					                            parseCNumber (item.c_str () + equals + 1, nullptr));
				if (end == std::string::npos)
					break;
				pos = end + 1;
			}
			presets.push_back (std::move (preset));
		}
		else if (!instrumentSeen)
		{
			const std::vector<std::string> fields = splitFields (line, 3);
			instrumentId = fields[0];
			instrumentName = fields[1];
			instrumentList = fields[2];
			instrumentSeen = true;
		}
		else
			positionings.push_back (line);
	}
	sendBankState ("loadBank", nullptr, nullptr);
}

std::string BankControl::shownLocator () const
{
	// A hosted bank's locator is its address, kept whole for a later fetch
	// but shown without its credentials; a folder is shown as it is.
	return source == "hosted" ? redactedUrl (locator) : locator;
}

void BankControl::clearRuntimeFacts ()
{
	runtimeActive = false;
	source.clear ();
	locator.clear ();
	sha256.clear ();
	instrumentId.clear ();
	instrumentName.clear ();
	instrumentList.clear ();
	positionings.clear ();
	presets.clear ();
}

void BankControl::sendBankState (const char* reason, const char* errorCode, const char* requestedId)
{
	host.sendBankJson (bankStateJson (reason, errorCode, requestedId));
}

std::string BankControl::bankStateJson (const char* reason, const char* errorCode, const char* requestedId) const
{
	std::string out = "{\"type\":\"tavik.bankState\",\"reason\":";
	jsonAppendStrictQuoted (out, reason ? reason : "query");
	out += ",\"stateVersion\":1,\"pads\":";
	writeSamplerPadOverridesJson (out, padOverrides);
	out += ",\"banks\":[]";
	if (runtimeActive && !source.empty ())
	{
		out += ",\"runtime\":{\"source\":";
		jsonAppendStrictQuoted (out, source.c_str ());
		out += ",\"locator\":";
		jsonAppendStrictQuoted (out, shownLocator ().c_str ());
		if (!instrumentId.empty ())
		{
			out += ",\"instrument\":{\"id\":";
			jsonAppendStrictQuoted (out, instrumentId.c_str ());
			out += ",\"name\":";
			jsonAppendStrictQuoted (out, instrumentName.c_str ());
			out += ",\"list\":";
			jsonAppendStrictQuoted (out, instrumentList.c_str ());
			out += '}';
		}
		out += ",\"positionings\":[";
		for (size_t i = 0; i < positionings.size (); ++i)
		{
			const std::vector<std::string> fields = splitFields (positionings[i], 3);
			out += i ? ",{\"id\":" : "{\"id\":";
			jsonAppendStrictQuoted (out, fields[0].c_str ());
			out += ",\"name\":";
			jsonAppendStrictQuoted (out, fields[1].c_str ());
			out += ",\"list\":";
			jsonAppendStrictQuoted (out, fields[2].c_str ());
			out += '}';
		}
		out += "]}";
	}
	const bool bankScoped = runtimeActive && !presets.empty ();
	out += ",\"presets\":{\"bankScoped\":";
	out += bankScoped ? "true" : "false";
	out += ",\"items\":[";
	if (bankScoped)
		for (size_t i = 0; i < presets.size (); ++i)
		{
			const BankControlPreset& p = presets[i];
			out += i ? ",{\"id\":" : "{\"id\":";
			jsonAppendStrictQuoted (out, p.id.c_str ());
			out += ",\"name\":";
			jsonAppendStrictQuoted (out, p.name.c_str ());
			out += ",\"instrument\":";
			jsonAppendStrictQuoted (out, p.instrument.c_str ());
			out += ",\"params\":{";
			for (size_t k = 0; k < p.params.size (); ++k)
			{
				if (k)
					out += ',';
				jsonAppendStrictQuoted (out, p.params[k].first.c_str ());
				out += ':';
				appendG17Number (out, p.params[k].second);
			}
			out += "}}";
		}
	else
		for (uint32_t i = 0; i < TAVIK_FACTORY_PRESET_COUNT; ++i)
		{
			out += i ? ",{\"id\":" : "{\"id\":";
			jsonAppendStrictQuoted (out, TAVIK_FACTORY_PRESETS[i].id);
			out += ",\"name\":";
			jsonAppendStrictQuoted (out, TAVIK_FACTORY_PRESETS[i].name);
			out += '}';
		}
	out += "]}";
	if (errorCode)
	{
		out += ",\"error\":{\"code\":";
		jsonAppendStrictQuoted (out, errorCode);
		out += ",\"requestedId\":";
		jsonAppendStrictQuoted (out, requestedId ? requestedId : "");
		out += '}';
	}
	out += '}';
	return out;
}

} // namespace tavik
