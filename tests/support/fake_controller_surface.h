// A ControllerSurface for tests of the controller's logic without the SDK:
// parameter values in an array, and every host call and processor message
// recorded.
#pragma once

#include "controller_surface.h"
#include "factory_presets.h"
#include "parameter_table.h"

#include <string>
#include <vector>

namespace tavik::test {

class FakeControllerSurface : public ControllerSurface
{
public:
	FakeControllerSurface ()
	{
		for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
			values[i] = TAVIK_PARAMS[i].defaultNormalized;
	}

	double normalizedValue (uint32_t id) const override
	{
		return id < TAVIK_PARAM_COUNT ? values[id] : id == TAVIK_FACTORY_PROGRAM_LIST_ID ? program : 0;
	}
	bool setParameterValue (uint32_t id, double normalized) override
	{
		if (id == TAVIK_FACTORY_PROGRAM_LIST_ID)
		{
			program = normalized;
			return true;
		}
		if (id >= TAVIK_PARAM_COUNT)
			return false;
		values[id] = normalized < 0 ? 0 : normalized > 1 ? 1 : normalized;
		return true;
	}
	void beginEdit (uint32_t id) override { edits.push_back ("begin " + std::to_string (id)); }
	void performEdit (uint32_t id, double) override { edits.push_back ("perform " + std::to_string (id)); }
	void endEdit (uint32_t id) override { edits.push_back ("end " + std::to_string (id)); }
	void restartComponent (int32_t flags) override { restarts.push_back (flags); }
	bool sendToProcessor (const char* id, const std::string* payload) override
	{
		sent.push_back (id);
		sentPayloads.push_back (payload ? *payload : "<none>");
		return connected;
	}
	bool sendTransportPoll (bool reset) override
	{
		sent.push_back (reset ? "transportPoll reset" : "transportPoll");
		sentPayloads.push_back ("");
		return connected;
	}

	double values[TAVIK_PARAM_COUNT];
	double program = 0; // the program-change parameter
	bool connected = true;
	std::vector<std::string> edits;
	std::vector<int32_t> restarts;
	std::vector<std::string> sent;
	std::vector<std::string> sentPayloads;
};

} // namespace tavik::test
