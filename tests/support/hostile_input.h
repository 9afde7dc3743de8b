// Hostile inputs shared by the document reader tests: every truncation of a
// valid text, deep nesting, huge numbers and invalid UTF-8. Each reader must
// fail cleanly or parse, never crash or read outside the text (the buffers
// are exact, so the sanitizer build would tell).
#pragma once

#include "exact_buffer.h"

#include <functional>
#include <string>
#include <vector>

namespace tavik::test {

/** Hostile texts that are not truncations of a valid document: readers
 *  may accept some of them, but must not choke. */
inline std::vector<std::string> hostileVariants (const std::string& valid)
{
	std::vector<std::string> texts;
	texts.push_back (std::string (10000, '['));
	texts.push_back (std::string (10000, '{'));
	std::string nested;
	for (int i = 0; i < 5000; ++i)
		nested += "{\"a\":";
	texts.push_back (nested);
	texts.push_back ("{\"params\":{\"ir.size\":" + std::string (5000, '9') + "}}");
	texts.push_back ("{\"params\":{\"ir.size\":1e99999}}");
	texts.push_back ("{\"bindings\":[{\"cc\":1e308,\"path\":\"ir.size\"}]}");
	texts.push_back ("{\"\xff\xfe\":\"\xc3\x28\",\"params\":{\"\xed\xa0\x80\":1}}");
	texts.push_back (std::string ("{\"params\":{\"ir.size\":1\0}}", 25));
	texts.push_back ("{\"a\":\"\\u");
	texts.push_back ("{\"a\":\"\\");
	texts.push_back (valid + "x");
	texts.push_back ("[" + valid + "]");
	return texts;
}

/** Runs `read` over every truncation of `valid` and every hostile variant,
 *  each in an exact buffer. Returns the truncations it accepted (a complete
 *  document cut short must never be taken as one). */
inline std::vector<size_t> feedHostile (const std::string& valid, const std::function<bool (const char*, size_t)>& read)
{
	std::vector<size_t> acceptedCuts;
	for (size_t cut = 0; cut < valid.size (); ++cut)
	{
		const ExactBuffer buffer (valid.substr (0, cut));
		if (read (buffer.begin (), buffer.size ()))
			acceptedCuts.push_back (cut);
	}
	for (const std::string& text : hostileVariants (valid))
	{
		const ExactBuffer buffer (text);
		read (buffer.begin (), buffer.size ());
	}
	return acceptedCuts;
}

} // namespace tavik::test
