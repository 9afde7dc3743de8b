#include "parked_editor.h"

#include <chrono>
#include <cstdlib>

namespace tavik {

namespace {

struct Kept
{
	std::unique_ptr<EditorLink> link;
	std::string uiRoot;
	std::chrono::steady_clock::time_point until;

	~Kept ()
	{
		// At unload the link ends its helper.
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
	Kept& k = kept ();
	k.link.reset ();
	const double seconds = editorKeepSeconds ();
	if (!link || !link->isParked () || seconds <= 0)
		return;
	k.link = std::move (link);
	k.uiRoot = uiRoot;
	k.until = std::chrono::steady_clock::now () +
	          std::chrono::duration_cast<std::chrono::steady_clock::duration> (std::chrono::duration<double> (seconds));
}

std::unique_ptr<EditorLink> takeParkedEditor (const std::string& uiRoot)
{
	expireParkedEditor ();
	Kept& k = kept ();
	if (!k.link || k.uiRoot != uiRoot)
		return nullptr;
	return std::move (k.link);
}

void expireParkedEditor ()
{
	Kept& k = kept ();
	if (k.link && std::chrono::steady_clock::now () >= k.until)
		k.link.reset ();
}

void releaseParkedEditor () { kept ().link.reset (); }

} // namespace tavik
