#include "host_facts.h"

#include "fixed_text.h"
#include "json_writer.h"

#include <cmath>
#include <cstring>

namespace tavik {

namespace {

const char* const kValidators[] = {nullptr, "pluginval",           "clap-validator",
                                   "auval", "steinberg-validator", "tavik-probe"};

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
		JsonMembers bus = JsonMembers::open (out);
		bus.text ("id", fixedText (b.id).c_str ());
		bus.text ("direction", b.isInput ? "input" : "output");
		bus.number ("channels", b.channels);
		bus.boolean ("active", b.active);
		bus.optionalText ("layout", fixedText (b.layout).c_str ());
		bus.close ();
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
	JsonMembers m = JsonMembers::open (out);
	m.optionalText ("hostName", fixedText (f.hostName).c_str ());
	m.optionalText ("hostVersion", fixedText (f.hostVersion).c_str ());
	m.optionalText ("hostPath", fixedText (f.hostPath).c_str ());
	if (f.validatorHost >= 1 && f.validatorHost <= 5)
		m.text ("validatorHost", kValidators[f.validatorHost]);
	m.number ("sampleRate", f.sampleRate);
	m.number ("maxBlockFrames", f.maxBlockFrames);
	if (f.lastBlockFrames >= 0)
		m.number ("lastBlockFrames", f.lastBlockFrames);
	m.text ("processMode", processModeName (f.processMode));
	m.number ("sampleSize", f.sampleSize);
	m.number ("latencySamples", f.latencySamples);
	appendTail (m.member ("tailSamples"), f);
	if (f.internalSampleRate > 0)
		m.number ("internalSampleRate", f.internalSampleRate);
	appendBuses (m.member ("buses"), f);
	if (f.bypassKnown)
		m.boolean ("bypassed", f.bypassed);
	m.close ();
}

bool writeDiagnosticHostDeltaJson (std::string& out, const HostFacts& p, const HostFacts& c)
{
	const size_t start = out.size ();
	JsonMembers m = JsonMembers::open (out);
	if (!(p.sampleRate == c.sampleRate))
		m.number ("sampleRate", c.sampleRate);
	if (p.maxBlockFrames != c.maxBlockFrames)
		m.number ("maxBlockFrames", c.maxBlockFrames);
	if (p.lastBlockFrames != c.lastBlockFrames && c.lastBlockFrames >= 0)
		m.number ("lastBlockFrames", c.lastBlockFrames);
	if (p.processMode != c.processMode)
		m.text ("processMode", processModeName (c.processMode));
	if (p.sampleSize != c.sampleSize)
		m.number ("sampleSize", c.sampleSize);
	if (p.latencySamples != c.latencySamples)
		m.number ("latencySamples", c.latencySamples);
	if (tailDiffers (p, c))
		appendTail (m.member ("tailSamples"), c);
	if (!(p.internalSampleRate == c.internalSampleRate) && c.internalSampleRate > 0)
		m.number ("internalSampleRate", c.internalSampleRate);
	if (busesDiffer (p, c))
		appendBuses (m.member ("buses"), c);
	if (bypassChanged (p, c))
		m.boolean ("bypassed", c.bypassed);
	if (m.empty ())
	{
		out.resize (start); // no change: nothing is written
		return false;
	}
	m.close ();
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
	const size_t start = out.size ();
	JsonMembers m = JsonMembers::open (out);
	m.text ("type", "tavik.hostChanged");
	if (!writeDiagnosticHostDeltaJson (m.member ("host"), previous, current))
	{
		out.resize (start);
		return false;
	}
	if (const char* kind = diagnosticHostChangeKind (previous, current))
	{
		JsonMembers event = m.object ("event");
		event.integer ("seq", sequence);
		event.number ("timeMs", timeMs);
		event.text ("kind", kind);
		event.close ();
	}
	m.close ();
	return true;
}

void writeDiagnosticTransportJson (std::string& out, const TransportFact& f)
{
	JsonMembers m = JsonMembers::open (out);
	m.text ("type", "tavik.transport");
	JsonMembers frame = m.object ("frame");
	frame.number ("atFrame", static_cast<double> (f.atFrame));
	frame.text ("source", f.source == 1 ? "host" : f.source == 2 ? "internal" : "none");
	JsonMembers state = frame.object ("state");
	state.boolean ("playing", f.playing);
	state.boolean ("recording", f.recording);
	state.boolean ("looping", f.looping);
	state.number ("tempo", f.tempo);
	JsonMembers signature = state.object ("timeSignature");
	signature.number ("numerator", f.numerator);
	signature.number ("denominator", f.denominator);
	signature.close ();
	state.number ("ppqPosition", f.ppqPosition);
	state.number ("barPositionPpq", f.barPositionPpq);
	// Loop points only with a loop, a sample rate only when it is one.
	if (f.hasLoop && std::isfinite (f.loopStartPpq))
		state.number ("loopStartPpq", f.loopStartPpq);
	else
		state.raw ("loopStartPpq", "null");
	if (f.hasLoop && std::isfinite (f.loopEndPpq))
		state.number ("loopEndPpq", f.loopEndPpq);
	else
		state.raw ("loopEndPpq", "null");
	if (f.sampleRate > 0 && !std::isinf (f.sampleRate))
		state.number ("sampleRate", f.sampleRate);
	else
		state.raw ("sampleRate", "null");
	state.number ("projectTimeSamples", static_cast<double> (f.projectTimeSamples));
	state.close ();
	JsonMembers capabilities = frame.object ("capabilities");
	capabilities.boolean ("tempo", f.hasTempo);
	capabilities.boolean ("timeSignature", f.hasTimeSignature);
	capabilities.boolean ("position", f.hasPosition);
	capabilities.boolean ("loop", f.hasLoop);
	capabilities.boolean ("canSetTempo", f.canSetTempo);
	capabilities.close ();
	frame.close ();
	m.close ();
}

} // namespace tavik
