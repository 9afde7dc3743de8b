#include "parked_editor.h"

#include "helper_reaper.h"

#include <chrono>
#include <cstdlib>
#include <mutex>

namespace tavik {

namespace {

struct Kept
{
	std::mutex lock;
	std::unique_ptr<EditorLink> link;
	std::string uiRoot;
	std::chrono::steady_clock::time_point until;

	// The reaper is made first, so it is still there when this goes.
	Kept () { HelperReaper::instance (); }

	~Kept ()
	{
		// At unload (without DeinitModule): first the reaper's thread, so
		// no alarm can come for what goes now; then the link ends its
		// helper (the reaper, still there, takes it and is joined last).
		HelperReaper::instance ().shutdown ();
		link.reset ();
	}
};

Kept& kept ()
{
	static Kept one;
	return one;
}

} // namespace

double editorKeepSeconds ()
{
	const char* text = std::getenv ("ZORV_EDITOR_KEEP_SECONDS");
	if (!text || !*text)
		return 30;
	char* end = nullptr;
	const double seconds = std::strtod (text, &end);
	if (end == text || !(seconds >= 0))
		return 30;
	return seconds > 3600 ? 3600 : seconds;
}

void keepParkedEditor (std::unique_ptr<EditorLink> link, const std::string& uiRoot)
{
	const double seconds = editorKeepSeconds ();
	if (!link || !link->isParked () || seconds <= 0)
		return; // `link` closes here
	Kept& k = kept ();
	std::unique_ptr<EditorLink> previous;
	std::chrono::steady_clock::time_point until;
	{
		std::lock_guard<std::mutex> guard (k.lock);
		previous = std::move (k.link);
		k.link = std::move (link);
		k.uiRoot = uiRoot;
		k.until = until =
			std::chrono::steady_clock::now () +
			std::chrono::duration_cast<std::chrono::steady_clock::duration> (std::chrono::duration<double> (seconds));
	}
	HelperReaper::instance ().setAlarm (until, &expireParkedEditor);
	// `previous`, if any, closes here, outside the lock.
}

std::unique_ptr<EditorLink> takeParkedEditor (const std::string& uiRoot)
{
	Kept& k = kept ();
	std::unique_ptr<EditorLink> expired;
	std::lock_guard<std::mutex> guard (k.lock);
	if (!k.link)
		return nullptr;
	if (std::chrono::steady_clock::now () >= k.until)
	{
		expired = std::move (k.link);
		return nullptr;
	}
	if (k.uiRoot != uiRoot)
		return nullptr;
	// The alarm may still come; it finds nothing to end.
	return std::move (k.link);
}

void expireParkedEditor ()
{
	Kept& k = kept ();
	std::unique_ptr<EditorLink> ending;
	std::lock_guard<std::mutex> guard (k.lock);
	if (k.link && std::chrono::steady_clock::now () >= k.until)
		ending = std::move (k.link);
	// `ending`, declared before the guard, closes after the lock is let go.
}

void releaseParkedEditor ()
{
	Kept& k = kept ();
	std::unique_ptr<EditorLink> ending;
	std::lock_guard<std::mutex> guard (k.lock);
	ending = std::move (k.link);
}

} // namespace tavik
