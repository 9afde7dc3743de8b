// The feeds the editor subscribes to and what they carry: the lifecycle log
// and its replay, the transport (on every change, and while playing at most
// at the feed rate), the host's facts and their changes, and the
// processor's runtime health report. The controller session owns one and
// forwards the processor's answers to it.
#pragma once

#include "host_facts.h"
#include "lifecycle_log.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tavik {

/** Where the feeds go: the editor, and the processor for transport polls. */
class FeedOutlet
{
public:
	virtual ~FeedOutlet () = default;
	/** An editor is attached (messages reach it). */
	virtual bool editorAttached () const = 0;
	/** The editor said hello and takes host changes. */
	virtual bool editorReady () const = 0;
	virtual void sendToEditor (const std::string& json) const = 0;
	/** Asks the processor for its transport; true when the ask went out. */
	virtual bool sendTransportPoll (bool reset) = 0;
};

class EditorFeeds
{
public:
	explicit EditorFeeds (FeedOutlet& outlet);

	/** Seconds between cadence ticks for a subscribed rate (1..30 Hz). */
	static double cadenceIntervalSeconds (double feedRate);
	void subscribe (uint32_t mask, double hz, bool hasHz);
	void unsubscribe ();
	/** The cadence tick's transport poll, carrying a pending reset. */
	void pollTransport ();

	// Lifecycle log.
	DiagnosticLifecycleEvent& record (DiagnosticLifecycleKind kind, int64_t atFrame = -1);
	/** Sends the latest event to a subscribed editor. */
	void publishLast ();
	void replay ();

	// What the processor reports.
	void adoptRuntimeHealth (const std::string& report);
	void adoptHostFacts (const HostFacts& reported);
	void adoptTransportFact (const TransportFact& fact);
	void adoptLifecycleName (const std::string& name);
	/** The host's name, as the controller learns it at initialisation. */
	void setHostName (const char* hostName, uint8_t validatorHost);

	/** Milliseconds of the clock the feeds are throttled by (the lifecycle
	 *  log's unless a test sets its own). */
	void setClock (std::function<double ()> now) { clock = std::move (now); }
	double nowMs () const { return clock ? clock () : log->nowMs (); }

	uint32_t mask () const { return subscriptionMask; }
	double hz () const { return feedRate; }
	const HostFacts& hostFacts () const { return facts; }
	const std::string& runtimeHealthReport () const { return runtimeHealth; }
	uint32_t hostChanges () const { return hostChangeSequence; }
	const DiagnosticLifecycleLog& lifecycleLog () const { return *log; }

private:
	bool subscribed (uint32_t bit) const { return outlet.editorAttached () && (subscriptionMask & bit); }

	FeedOutlet& outlet;
	std::unique_ptr<DiagnosticLifecycleLog> log;
	std::function<double ()> clock;
	uint32_t subscriptionMask = 0;
	double feedRate = 0;
	std::string runtimeHealth;
	HostFacts facts;
	uint32_t hostChangeSequence = 0;
	TransportFact lastTransport;
	bool hasTransport = false;
	double previousTempo = 120.0;
	int32_t previousNumerator = 4;
	int32_t previousDenominator = 4;
	double lastTransportSendMs = -1;
	bool transportResetPending = false;
};

} // namespace tavik
