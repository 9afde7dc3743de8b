// Test helper: sets or unsets one environment variable and puts it back
// afterwards.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace tavik::test {

class ScopedVariable
{
public:
	ScopedVariable (const char* variable, const char* value) : name (variable)
	{
		if (const char* old = std::getenv (name))
			saved = std::string (old);
		if (value)
			::setenv (name, value, 1);
		else
			::unsetenv (name);
	}
	~ScopedVariable ()
	{
		if (saved)
			::setenv (name, saved->c_str (), 1);
		else
			::unsetenv (name);
	}
	ScopedVariable (const ScopedVariable&) = delete;
	ScopedVariable& operator= (const ScopedVariable&) = delete;

private:
	const char* name;
	std::optional<std::string> saved;
};

} // namespace tavik::test
