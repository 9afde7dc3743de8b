#include "runtime_bank_reply.h"

#include "number_text.h"

namespace tavik {

namespace {

void appendFields (std::string& out, const std::string& a, const std::string& b, const std::string& c)
{
	out += '\n';
	out += a;
	out += '\t';
	out += b;
	out += '\t';
	out += c;
}

} // namespace

std::string encodeRuntimeBankReply (const char* outcome, const std::string& message, const StagedBank* bank)
{
	std::string out = outcome ? outcome : "missing";
	out += '\n';
	out += message;
	if (!bank)
		return out;
	appendFields (out, bank->instrumentId, bank->instrumentName, bank->instrumentKind);
	for (const StagedPositioning& p : bank->positioning)
		appendFields (out, p.id, p.name, p.kind);
	for (const StagedPreset& preset : bank->presets)
	{
		out += "\n\x01";
		out += preset.id;
		out += '\t';
		out += preset.name;
		out += '\t';
		out += preset.instrument;
		out += '\t';
		bool first = true;
		for (const auto& param : preset.params)
		{
			if (!first)
				out += '\x1F';
			first = false;
			out += param.first;
			out += '=';
			appendG17Number (out, param.second);
		}
	}
	return out;
}

} // namespace tavik
