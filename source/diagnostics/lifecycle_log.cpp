#include "lifecycle_log.h"

#include "fixed_text.h"
#include "json_writer.h"

#include <cstring>
#include <ctime>

namespace tavik {

namespace {

const char* const kKindNames[LIFECYCLE_KIND_COUNT] = {
	"created",
	"configured",
	"activated",
	"deactivated",
	"reset",
	"destroyed",
	"editorOpened",
	"editorClosed",
	"editorError",
	"stateSaved",
	"stateRestored",
	"presetLoaded",
	"presetSaved",
	"latencyChanged",
	"tailChanged",
	"tempoChanged",
	"timeSignatureChanged",
	"sampleRateChanged",
	"blockSizeChanged",
	"busLayoutChanged",
	"processModeChanged",
	"bypassChanged",
	"ccMapChanged",
	"stimulus",
	"runtimeDiagnostic",
};

// Monotonic clock in nanoseconds; 0 when it cannot be read.
int64_t monotonicNs ()
{
	timespec ts {};
	if (clock_gettime (CLOCK_MONOTONIC, &ts) != 0)
		return 0;
	return static_cast<int64_t> (ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

} // namespace

const char* diagnosticLifecycleKindName (DiagnosticLifecycleKind kind)
{
	const auto value = static_cast<uint8_t> (kind);
	return value < LIFECYCLE_KIND_COUNT ? kKindNames[value] : nullptr;
}

bool diagnosticLifecycleKindFromName (const char* name, DiagnosticLifecycleKind& kind)
{
	if (!name)
		return false;
	for (int i = 0; i < LIFECYCLE_KIND_COUNT; ++i)
		if (std::strcmp (kKindNames[i], name) == 0)
		{
			kind = static_cast<DiagnosticLifecycleKind> (i);
			return true;
		}
	return false;
}

void DiagnosticLifecycleEvent::clear ()
{
	std::memset (static_cast<void*> (this), 0, sizeof (*this));
	atFrame = -1;
}

DiagnosticLifecycleDetail* DiagnosticLifecycleEvent::addDetail (const char* name, uint8_t type)
{
	if (detailCount >= LIFECYCLE_MAX_DETAILS)
		return nullptr;
	DiagnosticLifecycleDetail& d = details[detailCount++];
	std::memset (&d, 0, sizeof (d));
	copyFixedText (d.name, name);
	d.type = type;
	return &d;
}

void DiagnosticLifecycleEvent::addNumber (const char* name, double value)
{
	if (DiagnosticLifecycleDetail* d = addDetail (name, DiagnosticLifecycleDetail::NUMBER))
		d->number = value;
}

void DiagnosticLifecycleEvent::addString (const char* name, const char* text)
{
	if (DiagnosticLifecycleDetail* d = addDetail (name, DiagnosticLifecycleDetail::TEXT))
		copyFixedText (d->text, text);
}

void DiagnosticLifecycleEvent::addBool (const char* name, bool value)
{
	if (DiagnosticLifecycleDetail* d = addDetail (name, DiagnosticLifecycleDetail::BOOLEAN))
		d->flag = value;
}

void DiagnosticLifecycleEvent::addNull (const char* name) { addDetail (name, DiagnosticLifecycleDetail::NULL_VALUE); }

DiagnosticLifecycleLog::DiagnosticLifecycleLog () : head (0), count (0), dropped (0), sequenceCounter (0)
{
	for (DiagnosticLifecycleEvent& e : events)
		e.clear ();
	originNs = monotonicNs ();
}

double DiagnosticLifecycleLog::nowMs () const
{
	const int64_t now = monotonicNs ();
	if (now == 0 || originNs == 0 || now <= originNs)
		return 0;
	return static_cast<double> (now - originNs) / 1000000.0;
}

DiagnosticLifecycleEvent& DiagnosticLifecycleLog::record (DiagnosticLifecycleKind kind, int64_t atFrame)
{
	if (count >= LIFECYCLE_CAPACITY)
	{
		head = static_cast<uint8_t> (head + 1);
		count = LIFECYCLE_CAPACITY - 1;
		++dropped;
	}
	DiagnosticLifecycleEvent& e = events[(head + count) % LIFECYCLE_CAPACITY];
	e.clear ();
	e.sequence = ++sequenceCounter;
	e.timeMs = nowMs ();
	e.atFrame = atFrame;
	e.kind = kind;
	++count;
	return e;
}

const DiagnosticLifecycleEvent& DiagnosticLifecycleLog::at (uint32_t i) const
{
	if (i >= count)
		i = 0;
	return events[(head + i) % LIFECYCLE_CAPACITY];
}

void writeDiagnosticLifecycleEventJson (std::string& out, const DiagnosticLifecycleEvent& event)
{
	JsonMembers m = JsonMembers::open (out);
	m.number ("seq", event.sequence);
	m.number ("timeMs", event.timeMs);
	if (event.atFrame >= 0)
		m.number ("atFrame", static_cast<double> (event.atFrame));
	const char* kind = diagnosticLifecycleKindName (event.kind);
	m.text ("kind", kind ? kind : "runtimeDiagnostic");
	const uint32_t details = event.detailCount < LIFECYCLE_MAX_DETAILS ? event.detailCount : LIFECYCLE_MAX_DETAILS;
	if (details)
	{
		JsonMembers detail = m.object ("detail");
		for (uint32_t i = 0; i < details; ++i)
		{
			const DiagnosticLifecycleDetail& d = event.details[i];
			char name[sizeof (d.name) + 1] = {};
			std::memcpy (name, d.name, sizeof (d.name));
			switch (d.type)
			{
				case DiagnosticLifecycleDetail::NUMBER: detail.number (name, d.number); break;
				case DiagnosticLifecycleDetail::TEXT:
				{
					char text[sizeof (d.text) + 1] = {};
					std::memcpy (text, d.text, sizeof (d.text));
					detail.text (name, text);
					break;
				}
				case DiagnosticLifecycleDetail::BOOLEAN: detail.boolean (name, d.flag); break;
				default: detail.raw (name, "null"); break;
			}
		}
		detail.close ();
	}
	m.close ();
}

namespace {

// The lifecycle message around `count` events given by `eventAt`.
template <typename EventAt>
void writeLifecycleMessage (std::string& out, size_t count, uint32_t dropped, EventAt eventAt)
{
	JsonMembers m = JsonMembers::open (out);
	m.text ("type", "tavik.lifecycle");
	m.member ("events") += "[";
	for (size_t i = 0; i < count; ++i)
	{
		if (i)
			out += ",";
		writeDiagnosticLifecycleEventJson (out, eventAt (i));
	}
	out += "]";
	if (dropped != 0)
		m.integer ("dropped", dropped);
	m.close ();
}

} // namespace

bool writeDiagnosticLifecycleJson (std::string& out, const DiagnosticLifecycleEvent* events, size_t count,
                                   uint32_t dropped)
{
	if (!events || count == 0)
		return false;
	if (count > LIFECYCLE_CAPACITY)
		count = LIFECYCLE_CAPACITY;
	writeLifecycleMessage (out, count, dropped,
	                       [events] (size_t i) -> const DiagnosticLifecycleEvent& { return events[i]; });
	return true;
}

bool writeDiagnosticLifecycleReplayJson (std::string& out, const DiagnosticLifecycleLog& log)
{
	if (log.count == 0)
		return false;
	writeLifecycleMessage (out, log.count, log.dropped, [&log] (size_t i) -> const DiagnosticLifecycleEvent& {
		return log.at (static_cast<uint32_t> (i));
	});
	return true;
}

} // namespace tavik
