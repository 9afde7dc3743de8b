// The controller's log of the plug-in's lifecycle: a 256-event ring whose
// events carry a sequence, a time, an optional audio frame and up to six
// named details, and its JSON forms for the editor.
#pragma once

#include <cstdint>
#include <string>

namespace tavik {

enum class DiagnosticLifecycleKind : uint8_t
{
	created = 0,
	configured,
	activated,
	deactivated,
	reset,
	destroyed,
	editorOpened,
	editorClosed,
	editorError,
	stateSaved,
	stateRestored,
	presetLoaded,
	presetSaved,
	latencyChanged,
	tailChanged,
	tempoChanged,
	timeSignatureChanged,
	sampleRateChanged,
	blockSizeChanged,
	busLayoutChanged,
	processModeChanged,
	bypassChanged,
	ccMapChanged,
	stimulus,
	runtimeDiagnostic,
};

constexpr int LIFECYCLE_KIND_COUNT = 25;

/** The kind's name, or null for a value above 24. */
const char* diagnosticLifecycleKindName (DiagnosticLifecycleKind kind);

/** The kind named exactly `name`; false (kind untouched) otherwise. */
bool diagnosticLifecycleKindFromName (const char* name, DiagnosticLifecycleKind& kind);

struct DiagnosticLifecycleDetail
{
	enum Type : uint8_t
	{
		NULL_VALUE = 0,
		NUMBER = 1,
		TEXT = 2,
		BOOLEAN = 3,
	};

	char name[24];
	uint8_t type;
	double number;
	bool flag;
	char text[64];
};

constexpr uint32_t LIFECYCLE_MAX_DETAILS = 6;

struct DiagnosticLifecycleEvent
{
	uint32_t sequence;
	double timeMs;
	int64_t atFrame;
	DiagnosticLifecycleKind kind;
	DiagnosticLifecycleDetail details[LIFECYCLE_MAX_DETAILS];
	uint32_t detailCount;

	void addNumber (const char* name, double value);
	void addString (const char* name, const char* text);
	void addBool (const char* name, bool value);
	void addNull (const char* name);

	/** An event with no details and no frame. */
	void clear ();

private:
	DiagnosticLifecycleDetail* addDetail (const char* name, uint8_t type);
};

constexpr uint32_t LIFECYCLE_CAPACITY = 256;

struct DiagnosticLifecycleLog
{
	DiagnosticLifecycleEvent events[LIFECYCLE_CAPACITY];
	uint8_t head;
	uint32_t count;
	uint32_t dropped;
	uint32_t sequenceCounter;
	int64_t originNs;

	DiagnosticLifecycleLog ();

	double nowMs () const;
	DiagnosticLifecycleEvent& record (DiagnosticLifecycleKind kind, int64_t atFrame);
	const DiagnosticLifecycleEvent& at (uint32_t i) const;
};

void writeDiagnosticLifecycleEventJson (std::string& out, const DiagnosticLifecycleEvent& event);

/** {"type":"tavik.lifecycle","events":[...]} of up to 256 events; false
 *  (nothing written) when there are none. */
bool writeDiagnosticLifecycleJson (std::string& out, const DiagnosticLifecycleEvent* events, size_t count,
                                   uint32_t dropped);

/** The whole log, oldest first; false (nothing written) when it is empty. */
bool writeDiagnosticLifecycleReplayJson (std::string& out, const DiagnosticLifecycleLog& log);

} // namespace tavik
