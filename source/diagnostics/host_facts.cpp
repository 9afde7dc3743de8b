#include "host_facts.h"

#include "fixed_text.h"
#include "json_writer.h"

#include <cmath>
#include <cstring>

namespace tavik {

namespace {

const char* const kValidators[] = {nullptr, "pluginval", "clap-validator", "auval", "steinberg-validator",
                                   "tavik-probe"};

void appendQuotedField (std::string& out, const std::string& text) { jsonAppendQuoted (out, text.c_str ()); }

const char* processModeName (uint8_t mode) { return mode == 1 ? "offline" : mode == 2 ? "prefetch" : "realtime"; }

void appendTail (std::string& out, const HostFacts& f)
{
	if (f.tailKind == 1)
		jsonAppendNumber (out, f.tailSamples);
	else
		jsonAppendQuoted (out, f.tailKind == 2 ? "infinite" : "unreported");
}

void appendBuses (std::string& out, const HostFacts& f)
{
	out += "[";
	const uint32_t count = f.busCount < HOST_FACTS_MAX_BUSES ? f.busCount : HOST_FACTS_MAX_BUSES;
	for (uint32_t i = 0; i < count; ++i)
	{
		const HostBusFact& b = f.buses[i];
		if (i)
			out += ",";
		out += "{\"id\":";
		appendQuotedField (out, fixedText (b.id));
		out += ",\"direction\":";
		out += b.isInput ? "\"input\"" : "\"output\"";
		out += ",\"channels\":";
		jsonAppendNumber (out, b.channels);
		out += ",\"active\":";
		out += b.active ? "true" : "false";
		const std::string layout = fixedText (b.layout);
		if (!layout.empty ())
		{
			out += ",\"layout\":";
			appendQuotedField (out, layout);
		}
		out += "}";
	}
	out += "]";
}

bool busesDiffer (const HostFacts& a, const HostFacts& b)
{
	if (a.busCount != b.busCount)
		return true;
	const uint32_t count = a.busCount < HOST_FACTS_MAX_BUSES ? a.busCount : HOST_FACTS_MAX_BUSES;
	for (uint32_t i = 0; i < count; ++i)
	{
		const HostBusFact& x = a.buses[i];
		const HostBusFact& y = b.buses[i];
		if (fixedText (x.id) != fixedText (y.id) || x.isInput != y.isInput || x.channels != y.channels ||
		    x.active != y.active || fixedText (x.layout) != fixedText (y.layout))
			return true;
	}
	return false;
}

bool tailDiffers (const HostFacts& a, const HostFacts& b)
{
	return a.tailKind != b.tailKind || a.tailSamples != b.tailSamples;
}

bool bypassChanged (const HostFacts& previous, const HostFacts& current)
{
	return current.bypassKnown && (!previous.bypassKnown || previous.bypassed != current.bypassed);
}

// Separates the members of an object being written.
struct Members
{
	std::string& out;
	bool first = true;
	void next (const char* name)
	{
		if (!first)
			out += ",";
		first = false;
		out += "\"";
		out += name;
		out += "\":";
	}
};

} // namespace

HostFacts::HostFacts ()
{
	std::memset (static_cast<void*> (this), 0, sizeof (*this));
	lastBlockFrames = -1;
	sampleSize = 32;
}

void HostFacts::addBus (const char* id, bool isInput, int32_t channels, bool active, const char* layout)
{
	if (busCount >= HOST_FACTS_MAX_BUSES)
		return;
	HostBusFact& b = buses[busCount++];
	std::memset (&b, 0, sizeof (b));
	copyFixedText (b.id, id);
	b.isInput = isInput;
	b.channels = channels;
	b.active = active;
	copyFixedText (b.layout, layout);
}

TransportFact::TransportFact ()
{
	std::memset (static_cast<void*> (this), 0, sizeof (*this));
	tempo = 120;
	numerator = 4;
	denominator = 4;
}

bool TransportFact::differsFrom (const TransportFact& o) const
{
	return source != o.source || playing != o.playing || recording != o.recording || looping != o.looping ||
	       hasTempo != o.hasTempo || hasTimeSignature != o.hasTimeSignature || hasPosition != o.hasPosition ||
	       hasLoop != o.hasLoop || canSetTempo != o.canSetTempo || tempo != o.tempo || numerator != o.numerator ||
	       denominator != o.denominator || loopStartPpq != o.loopStartPpq || loopEndPpq != o.loopEndPpq ||
	       sampleRate != o.sampleRate;
}

DiagnosticTransportRing::DiagnosticTransportRing ()
{
	for (TransportFact& slot : slots)
		slot = TransportFact ();
}

void DiagnosticTransportRing::push (const TransportFact& fact)
{
	const uint32_t w = writeIndex.load (std::memory_order_relaxed);
	const uint32_t r = readIndex.load (std::memory_order_acquire);
	if (w - r >= CAPACITY)
	{
		readIndex.store (r + 1, std::memory_order_release);
		overwrittenCount.fetch_add (1);
	}
	slots[w % CAPACITY] = fact;
	writeIndex.store (w + 1, std::memory_order_release);
}

bool DiagnosticTransportRing::drainLatest (TransportFact& out)
{
	const uint32_t w = writeIndex.load (std::memory_order_acquire);
	if (w == readIndex.load (std::memory_order_acquire))
		return false;
	out = slots[(w - 1) % CAPACITY];
	readIndex.store (w, std::memory_order_release);
	return true;
}

void writeDiagnosticHostJson (std::string& out, const HostFacts& f)
{
	out += "{";
	Members m {out};
	for (const auto& text : {std::make_pair ("hostName", fixedText (f.hostName)),
	                         std::make_pair ("hostVersion", fixedText (f.hostVersion)),
	                         std::make_pair ("hostPath", fixedText (f.hostPath))})
	{
		if (text.second.empty ())
			continue;
		m.next (text.first);
		appendQuotedField (out, text.second);
	}
	if (f.validatorHost >= 1 && f.validatorHost <= 5)
	{
		m.next ("validatorHost");
		jsonAppendQuoted (out, kValidators[f.validatorHost]);
	}
	m.next ("sampleRate");
	jsonAppendNumber (out, f.sampleRate);
	m.next ("maxBlockFrames");
	jsonAppendNumber (out, f.maxBlockFrames);
	if (f.lastBlockFrames >= 0)
	{
		m.next ("lastBlockFrames");
		jsonAppendNumber (out, f.lastBlockFrames);
	}
	m.next ("processMode");
	jsonAppendQuoted (out, processModeName (f.processMode));
	m.next ("sampleSize");
	jsonAppendNumber (out, f.sampleSize);
	m.next ("latencySamples");
	jsonAppendNumber (out, f.latencySamples);
	m.next ("tailSamples");
	appendTail (out, f);
	if (f.internalSampleRate > 0)
	{
		m.next ("internalSampleRate");
		jsonAppendNumber (out, f.internalSampleRate);
	}
	m.next ("buses");
	appendBuses (out, f);
	if (f.bypassKnown)
	{
		m.next ("bypassed");
		out += f.bypassed ? "true" : "false";
	}
	out += "}";
}

bool writeDiagnosticHostDeltaJson (std::string& out, const HostFacts& p, const HostFacts& c)
{
	std::string delta = "{";
	Members m {delta};
	if (!(p.sampleRate == c.sampleRate))
	{
		m.next ("sampleRate");
		jsonAppendNumber (delta, c.sampleRate);
	}
	if (p.maxBlockFrames != c.maxBlockFrames)
	{
		m.next ("maxBlockFrames");
		jsonAppendNumber (delta, c.maxBlockFrames);
	}
	if (p.lastBlockFrames != c.lastBlockFrames && c.lastBlockFrames >= 0)
	{
		m.next ("lastBlockFrames");
		jsonAppendNumber (delta, c.lastBlockFrames);
	}
	if (p.processMode != c.processMode)
	{
		m.next ("processMode");
		jsonAppendQuoted (delta, processModeName (c.processMode));
	}
	if (p.sampleSize != c.sampleSize)
	{
		m.next ("sampleSize");
		jsonAppendNumber (delta, c.sampleSize);
	}
	if (p.latencySamples != c.latencySamples)
	{
		m.next ("latencySamples");
		jsonAppendNumber (delta, c.latencySamples);
	}
	if (tailDiffers (p, c))
	{
		m.next ("tailSamples");
		appendTail (delta, c);
	}
	if (!(p.internalSampleRate == c.internalSampleRate) && c.internalSampleRate > 0)
	{
		m.next ("internalSampleRate");
		jsonAppendNumber (delta, c.internalSampleRate);
	}
	if (busesDiffer (p, c))
	{
		m.next ("buses");
		appendBuses (delta, c);
	}
	if (bypassChanged (p, c))
	{
		m.next ("bypassed");
		delta += c.bypassed ? "true" : "false";
	}
	if (m.first)
		return false;
	out += delta;
	out += "}";
	return true;
}

const char* diagnosticHostChangeKind (const HostFacts& p, const HostFacts& c)
{
	if (!(p.sampleRate == c.sampleRate))
		return "sampleRateChanged";
	if (p.maxBlockFrames != c.maxBlockFrames)
		return "blockSizeChanged";
	if (busesDiffer (p, c))
		return "busLayoutChanged";
	if (p.latencySamples != c.latencySamples)
		return "latencyChanged";
	if (tailDiffers (p, c))
		return "tailChanged";
	if (p.processMode != c.processMode)
		return "processModeChanged";
	if (bypassChanged (p, c))
		return "bypassChanged";
	if (p.lastBlockFrames != c.lastBlockFrames)
		return "blockSizeChanged";
	if (p.sampleSize != c.sampleSize)
		return "configured";
	if (!(p.internalSampleRate == c.internalSampleRate))
		return "sampleRateChanged";
	return nullptr;
}

bool writeDiagnosticHostChangedJson (std::string& out, const HostFacts& previous, const HostFacts& current,
                                     uint32_t sequence, double timeMs)
{
	std::string delta;
	if (!writeDiagnosticHostDeltaJson (delta, previous, current))
		return false;
	out += "{\"type\":\"tavik.hostChanged\",\"host\":";
	out += delta;
	if (const char* kind = diagnosticHostChangeKind (previous, current))
	{
		out += ",\"event\":{\"seq\":";
		out += std::to_string (sequence);
		out += ",\"timeMs\":";
		jsonAppendNumber (out, timeMs);
		out += ",\"kind\":";
		jsonAppendQuoted (out, kind);
		out += "}";
	}
	out += "}";
	return true;
}

void writeDiagnosticTransportJson (std::string& out, const TransportFact& f)
{
	auto flag = [&out] (bool v) { out += v ? "true" : "false"; };
	out += "{\"type\":\"tavik.transport\",\"frame\":{\"atFrame\":";
	jsonAppendNumber (out, static_cast<double> (f.atFrame));
	out += ",\"source\":";
	jsonAppendQuoted (out, f.source == 1 ? "host" : f.source == 2 ? "internal" : "none");
	out += ",\"state\":{\"playing\":";
	flag (f.playing);
	out += ",\"recording\":";
	flag (f.recording);
	out += ",\"looping\":";
	flag (f.looping);
	out += ",\"tempo\":";
	jsonAppendNumber (out, f.tempo);
	out += ",\"timeSignature\":{\"numerator\":";
	jsonAppendNumber (out, f.numerator);
	out += ",\"denominator\":";
	jsonAppendNumber (out, f.denominator);
	out += "},\"ppqPosition\":";
	jsonAppendNumber (out, f.ppqPosition);
	out += ",\"barPositionPpq\":";
	jsonAppendNumber (out, f.barPositionPpq);
	out += ",\"loopStartPpq\":";
	if (f.hasLoop && std::isfinite (f.loopStartPpq))
		jsonAppendNumber (out, f.loopStartPpq);
	else
		out += "null";
	out += ",\"loopEndPpq\":";
	if (f.hasLoop && std::isfinite (f.loopEndPpq))
		jsonAppendNumber (out, f.loopEndPpq);
	else
		out += "null";
	out += ",\"sampleRate\":";
	if (f.sampleRate > 0 && !std::isinf (f.sampleRate))
		jsonAppendNumber (out, f.sampleRate);
	else
		out += "null";
	out += ",\"projectTimeSamples\":";
	jsonAppendNumber (out, static_cast<double> (f.projectTimeSamples));
	out += "},\"capabilities\":{\"tempo\":";
	flag (f.hasTempo);
	out += ",\"timeSignature\":";
	flag (f.hasTimeSignature);
	out += ",\"position\":";
	flag (f.hasPosition);
	out += ",\"loop\":";
	flag (f.hasLoop);
	out += ",\"canSetTempo\":";
	flag (f.canSetTempo);
	out += "}}}";
}

} // namespace tavik
