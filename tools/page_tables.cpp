// zorv-page-tables: writes the editor page's tables module (js/tables.js)
// from the tables the plug-in itself runs on, so that the page never keeps
// a copy of its own:
//
//   PARAMETERS  every row of the parameter table, with the decimals its
//               display text shows, as the controller reckons them
//   GONG_MODEL  the gong model's recipes and mallets and the constants of a
//               voice's life, from the kernel's own tables
//
//   zorv-page-tables OUT.js
//
// The model tables are inside the kernel (its public face is the C library
// interface only); this build-time tool is the one place outside the kernel
// and its tests that reads them, and nothing of it ships.

#include "gong_tables.h"
#include "json_writer.h"
#include "parameter_table.h"

#include <cstdio>
#include <string>

namespace {

using namespace tavik;
namespace k = tavik::kernel;

// The lists that name the models and the mallets.
constexpr const tavik_param_desc& INSTRUMENT = TAVIK_PARAMS[0];
constexpr const tavik_param_desc& MALLET = TAVIK_PARAMS[7];
static_assert (INSTRUMENT.listCount == k::RECIPE_COUNT, "every gong model has its name in the instrument list");
static_assert (MALLET.listCount == k::MALLET_COUNT, "every mallet has its name in the mallet list");

void appendArray (std::string& out, const double* values, int count)
{
	out += '[';
	for (int i = 0; i < count; ++i)
	{
		if (i > 0)
			out += ',';
		jsonAppendNumber (out, values[i]);
	}
	out += ']';
}

const char* kindName (uint32_t kind)
{
	switch (kind)
	{
		case TAVIK_PARAM_CONTINUOUS: return "continuous";
		case TAVIK_PARAM_LIST: return "list";
		default: return nullptr;
	}
}

// False (with the reason on stderr) when a row is of a kind the page has
// no rules for: better no page than one that shows other values than the
// host does.
bool appendParameters (std::string& out)
{
	out += "export const PARAMETERS = [\n";
	for (const tavik_param_desc& row : TAVIK_PARAMS)
	{
		const char* kind = kindName (row.kind);
		if (!kind)
		{
			std::fprintf (stderr, "zorv-page-tables: parameter %s is of kind %u, which the editor page cannot show\n",
			              row.path, row.kind);
			return false;
		}
		JsonMembers m = JsonMembers::open (out);
		m.integer ("id", row.id);
		m.text ("path", row.path);
		m.text ("title", row.name);
		m.text ("group", row.group);
		m.text ("kind", kind);
		m.number ("min", row.min);
		m.number ("max", row.max);
		m.number ("step", row.step);
		m.number ("def", row.defaultPlain);
		m.number ("defNormalized", row.defaultNormalized);
		m.text ("unit", row.unit);
		m.integer ("decimals", tavik_param_display_decimals (&row));
		std::string& entries = m.member ("entries");
		if (row.kind == TAVIK_PARAM_LIST && row.listEntries)
		{
			entries += '[';
			for (int32_t i = 0; i < row.listCount; ++i)
			{
				if (i > 0)
					entries += ',';
				jsonAppendStrictQuoted (entries, row.listEntries[i]);
			}
			entries += ']';
		}
		else
			entries += "null";
		m.close ();
		out += ",\n";
	}
	out += "];\n";
	return true;
}

void appendGongModel (std::string& out)
{
	out += "export const GONG_MODEL = ";
	JsonMembers model = JsonMembers::open (out);
	model.member ("recipes") += "[\n";
	for (int r = 0; r < k::RECIPE_COUNT; ++r)
	{
		const int modes = static_cast<int> (k::RECIPE_MODE_COUNTS[r]);
		JsonMembers m = JsonMembers::open (out);
		m.text ("name", INSTRUMENT.listEntries[r]);
		m.number ("ref", k::RECIPE_REFERENCE[r]);
		m.number ("damping", k::RECIPE_DAMPING[r]);
		m.number ("tail", k::RECIPE_TAIL_SECONDS[r]);
		m.number ("ombak", k::RECIPE_OMBAK[r]);
		appendArray (m.member ("freq"), k::RECIPE_MODE_FREQ + r * k::MAX_MODES, modes);
		appendArray (m.member ("decay"), k::RECIPE_MODE_DECAY + r * k::MAX_MODES, modes);
		appendArray (m.member ("amp"), k::RECIPE_MODE_AMP + r * k::MAX_MODES, modes);
		m.close ();
		out += r + 1 < k::RECIPE_COUNT ? ",\n" : "]";
	}
	model.member ("mallets") += "[\n";
	for (int i = 0; i < k::MALLET_COUNT; ++i)
	{
		JsonMembers m = JsonMembers::open (out);
		m.text ("name", MALLET.listEntries[i]);
		m.number ("softness", k::MALLET_SOFTNESS[i]);
		m.number ("bloom", k::MALLET_BLOOM[i]);
		m.close ();
		out += i + 1 < k::MALLET_COUNT ? ",\n" : "]";
	}
	model.number ("decayOpen", k::DECAY_OPEN);
	model.number ("maxTailSeconds", k::MAX_TAIL_SECONDS);
	model.number ("tailFadeSeconds", k::TAIL_FADE_SECONDS);
	model.number ("strikeShapeFloor", k::STRIKE_SHAPE_FLOOR);
	model.number ("bloomMaxFraction", k::BLOOM_MAX_FRACTION);
	model.close ();
	out += ";\n";
}

} // namespace

int main (int argc, char** argv)
{
	if (argc != 2)
	{
		std::fprintf (stderr, "usage: zorv-page-tables OUT.js\n");
		return 2;
	}
	std::string text = "// Written at build time by zorv-page-tables from the plug-in's parameter\n"
					   "// table and the gong model's tables. Not to be edited: change those.\n";
	if (!appendParameters (text))
		return 1;
	appendGongModel (text);

	// Written beside the target and renamed over it, so that a failed run
	// leaves the previous module, never half of one.
	const std::string path = argv[1];
	const std::string partial = path + ".partial";
	std::FILE* file = std::fopen (partial.c_str (), "wb");
	bool written = file && std::fwrite (text.data (), 1, text.size (), file) == text.size ();
	if (file && std::fclose (file) != 0)
		written = false;
	if (!written || std::rename (partial.c_str (), path.c_str ()) != 0)
	{
		std::perror (("zorv-page-tables: " + path).c_str ());
		std::remove (partial.c_str ());
		return 1;
	}
	return 0;
}
