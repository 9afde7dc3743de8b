// zorv-lv2-turtle: writes the LV2 bundle's Turtle from the tables the
// plug-in runs on, so the bundle never keeps a copy of its own:
//
//   manifest.ttl         the plug-in and every factory preset, each with the
//                        file that describes it
//   zorv.ttl             the plug-in: features, extensions, and its ports
//                        (each parameter's range, default, unit, integer,
//                        toggle or enumeration with its scale points)
//   presets/ID.ttl       one factory preset each, as port values
//
//   zorv-lv2-turtle BUNDLE_DIR
//
// Numbers are written with the fewest digits that read back as the same
// 32-bit float, the precision of an LV2 control port.

#include "factory_presets.h"
#include "lv2_layout.h"
#include "parameter_table.h"
#include "product_identity.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>

namespace {

using namespace tavik;
using namespace tavik::lv2;

const char* const PREFIXES = "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
							 "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
							 "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
							 "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
							 "@prefix log: <http://lv2plug.in/ns/ext/log#> .\n"
							 "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
							 "@prefix midi: <http://lv2plug.in/ns/ext/midi#> .\n"
							 "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
							 "@prefix patch: <http://lv2plug.in/ns/ext/patch#> .\n"
							 "@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .\n"
							 "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
							 "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
							 "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
							 "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
							 "@prefix rsz: <http://lv2plug.in/ns/ext/resize-port#> .\n"
							 "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
							 "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
							 "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
							 "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
							 "@prefix work: <http://lv2plug.in/ns/ext/worker#> .\n\n";

// The shortest plain decimal (never an exponent: a Turtle double is not
// read as a port value everywhere) that reads back, as a float and as a
// double rounded to a float, as float(value).
std::string number (double value)
{
	const float f = static_cast<float> (value);
	char text[96];
	for (int decimals = 1; decimals <= 60; ++decimals)
	{
		std::snprintf (text, sizeof text, "%.*f", decimals, static_cast<double> (f));
		if (std::strtof (text, nullptr) == f && static_cast<float> (std::strtod (text, nullptr)) == f)
			break;
	}
	return text;
}

// Text inside a Turtle string literal.
std::string literal (const char* text)
{
	std::string out = "\"";
	for (const char* c = text; *c; ++c)
	{
		if (*c == '"' || *c == '\\')
			out += '\\';
		out += *c;
	}
	return out + "\"";
}

const char* unitOf (const tavik_param_desc& row)
{
	if (std::strcmp (row.unit, "s") == 0)
		return "units:s";
	if (std::strcmp (row.unit, "Hz") == 0)
		return "units:hz";
	return nullptr;
}

// A continuous row whose step leaves only its two ends is an on/off switch.
bool isToggle (const tavik_param_desc& row)
{
	return row.kind == TAVIK_PARAM_TOGGLE ||
	       (row.kind == TAVIK_PARAM_CONTINUOUS && row.step > 0 && row.max - row.min == row.step);
}

bool isInteger (const tavik_param_desc& row)
{
	return row.kind == TAVIK_PARAM_LIST || isToggle (row) ||
	       (row.kind == TAVIK_PARAM_CONTINUOUS && row.step == 1 && row.min == static_cast<long> (row.min));
}

std::string parameterPort (const tavik_param_desc& row)
{
	std::string out = "\t\ta lv2:InputPort , lv2:ControlPort ;\n";
	out += "\t\tlv2:index " + std::to_string (PORT_FIRST_PARAMETER + row.id) + " ;\n";
	out += "\t\tlv2:symbol \"" + portSymbol (row) + "\" ;\n";
	out += "\t\tlv2:name " + literal (row.name) + " ;\n";
	out += "\t\tlv2:default " + number (row.defaultPlain) + " ;\n";
	out += "\t\tlv2:minimum " + number (row.min) + " ;\n";
	out += "\t\tlv2:maximum " + number (row.max);
	std::string properties;
	const auto addProperty = [&] (const char* p) {
		properties += (properties.empty () ? "" : " , ") + std::string (p);
	};
	if (isInteger (row))
		addProperty ("lv2:integer");
	if (isToggle (row))
		addProperty ("lv2:toggled");
	if (row.kind == TAVIK_PARAM_LIST)
		addProperty ("lv2:enumeration");
	if (!properties.empty ())
		out += " ;\n\t\tlv2:portProperty " + properties;
	if (const char* unit = unitOf (row))
		out += " ;\n\t\tunits:unit " + std::string (unit);
	if (row.kind == TAVIK_PARAM_LIST && row.listEntries)
	{
		out += " ;\n\t\tlv2:scalePoint";
		for (int32_t i = 0; i < row.listCount; ++i)
			out += std::string (i == 0 ? " " : " ,\n\t\t\t") + "[ rdfs:label " + literal (row.listEntries[i]) +
			       " ; rdf:value " + number (i) + " ]";
	}
	return out + "\n";
}

std::string pluginDescription ()
{
	std::string out = PREFIXES;
	out += "<" + std::string (PLUGIN_URI) + ">\n";
	out += "\ta lv2:Plugin , lv2:InstrumentPlugin ;\n";
	out += "\tdoap:name " + literal (PRODUCT_NAME) + " ;\n";
	out += "\tdoap:maintainer [ foaf:name " + literal (PRODUCT_VENDOR) + " ; foaf:homepage <" + PRODUCT_URL +
	       "> ; foaf:mbox <" + PRODUCT_EMAIL + "> ] ;\n";
	out += "\tlv2:minorVersion 0 ;\n\tlv2:microVersion 0 ;\n";
	out += "\tlv2:requiredFeature urid:map , opts:options , bufsz:boundedBlockLength ;\n";
	out += "\tlv2:optionalFeature lv2:hardRTCapable , log:log , work:schedule ;\n";
	out += "\topts:requiredOption bufsz:maxBlockLength ;\n";
	out += "\tlv2:extensionData state:interface , work:interface ;\n";
	out += "\tpatch:writable <" + std::string (CC_MAP_PROPERTY_URI) + "> ;\n";
	out += "\tui:ui <" + std::string (UI_URI) + "> ;\n";
	out += "\tlv2:port [\n";
	for (const tavik_param_desc& row : TAVIK_PARAMS)
		out += parameterPort (row) + "\t] , [\n";
	out += "\t\ta lv2:OutputPort , lv2:AudioPort ;\n\t\tlv2:index " + std::to_string (PORT_OUT_LEFT) +
	       " ;\n\t\tlv2:symbol \"out_left\" ;\n\t\tlv2:name \"Left\" ;\n\t\tlv2:designation pg:left\n\t] , [\n";
	out += "\t\ta lv2:OutputPort , lv2:AudioPort ;\n\t\tlv2:index " + std::to_string (PORT_OUT_RIGHT) +
	       " ;\n\t\tlv2:symbol \"out_right\" ;\n\t\tlv2:name \"Right\" ;\n\t\tlv2:designation pg:right\n\t] , [\n";
	out += "\t\ta lv2:InputPort , atom:AtomPort ;\n\t\tatom:bufferType atom:Sequence ;\n"
	       "\t\tatom:supports midi:MidiEvent , patch:Message , atom:Object ;\n\t\tlv2:designation lv2:control ;\n"
	       "\t\trsz:minimumSize " +
	       std::to_string (EVENTS_MINIMUM_BYTES) + " ;\n\t\tlv2:index " + std::to_string (PORT_EVENTS_IN) +
	       " ;\n\t\tlv2:symbol \"events\" ;\n\t\tlv2:name \"Events\"\n\t] , [\n";
	out += "\t\ta lv2:OutputPort , atom:AtomPort ;\n\t\tatom:bufferType atom:Sequence ;\n"
	       "\t\tatom:supports patch:Message , atom:Object ;\n\t\tlv2:designation lv2:control ;\n"
	       "\t\trsz:minimumSize " +
	       std::to_string (NOTIFY_MINIMUM_BYTES) + " ;\n\t\tlv2:index " + std::to_string (PORT_NOTIFY_OUT) +
	       " ;\n\t\tlv2:symbol \"notify\" ;\n\t\tlv2:name \"Notify\"\n\t] , [\n";
	out += "\t\ta lv2:OutputPort , lv2:ControlPort ;\n\t\tlv2:index " + std::to_string (PORT_LATENCY) +
	       " ;\n\t\tlv2:symbol \"latency\" ;\n\t\tlv2:name \"Latency\" ;\n\t\tlv2:designation lv2:latency ;\n"
	       "\t\tlv2:portProperty lv2:reportsLatency , lv2:integer , pprops:notOnGUI ;\n"
	       "\t\tunits:unit units:frame\n\t] .\n\n";
	out += "<" + std::string (CC_MAP_PROPERTY_URI) +
	       ">\n\ta lv2:Parameter ;\n\trdfs:label \"CC map\" ;\n"
	       "\trdfs:comment \"The MIDI controller map document, as the editor writes it.\" ;\n"
	       "\trdfs:range atom:String .\n";
	return out;
}

std::string presetUri (const tavik_factory_preset& preset) { return std::string (PRESET_URI_PREFIX) + preset.id; }

// The editor as an X11 UI: the DSP's replies on notify and every parameter
// port reach it through port_event.
std::string uiDescription ()
{
	std::string out = "\n<" + std::string (UI_URI) + ">\n\ta ui:X11UI ;\n\tlv2:binary <" + UI_BINARY_NAME + "> ;\n";
	out += "\tlv2:requiredFeature ui:parent , urid:map ;\n";
	out += "\tlv2:optionalFeature ui:resize , ui:touch , ui:idleInterface ;\n";
	out += "\tlv2:extensionData ui:idleInterface , ui:showInterface ;\n";
	out += "\tui:portNotification [\n\t\tui:plugin <" + std::string (PLUGIN_URI) +
	       "> ;\n\t\tlv2:symbol \"notify\" ;\n\t\tui:protocol atom:eventTransfer\n\t]";
	for (const tavik_param_desc& row : TAVIK_PARAMS)
		out += " , [\n\t\tui:plugin <" + std::string (PLUGIN_URI) + "> ;\n\t\tlv2:symbol \"" + portSymbol (row) +
		       "\" ;\n\t\tui:protocol ui:floatProtocol\n\t]";
	return out + " .\n";
}

std::string manifest ()
{
	std::string out = PREFIXES;
	out += "<" + std::string (PLUGIN_URI) + ">\n\ta lv2:Plugin , lv2:InstrumentPlugin ;\n\tlv2:binary <" + BINARY_NAME +
	       "> ;\n\trdfs:seeAlso <zorv.ttl> .\n";
	for (const tavik_factory_preset& preset : TAVIK_FACTORY_PRESETS)
		out += "\n<" + presetUri (preset) + ">\n\ta pset:Preset ;\n\tlv2:appliesTo <" + PLUGIN_URI +
		       "> ;\n\trdfs:label " + literal (preset.name) + " ;\n\trdfs:seeAlso <presets/" + preset.id + ".ttl> .\n";
	out += uiDescription ();
	return out;
}

std::string presetDescription (const tavik_factory_preset& preset)
{
	std::string out = PREFIXES;
	out += "<" + presetUri (preset) + ">\n\ta pset:Preset ;\n\tlv2:appliesTo <" + PLUGIN_URI + "> ;\n\trdfs:label " +
	       literal (preset.name) + " ;\n\tlv2:port";
	for (const tavik_param_desc& row : TAVIK_PARAMS)
		out += std::string (row.id == 0 ? " " : " ,\n\t\t") + "[ lv2:symbol \"" + portSymbol (row) +
		       "\" ; pset:value " + number (tavik_param_plain (&row, preset.values[row.id])) + " ]";
	return out + " .\n";
}

bool write (const std::string& path, const std::string& text)
{
	std::ofstream out (path, std::ios::binary | std::ios::trunc);
	out << text;
	out.close ();
	if (!out)
	{
		std::fprintf (stderr, "zorv-lv2-turtle: cannot write %s\n", path.c_str ());
		return false;
	}
	return true;
}

bool makeFolder (const std::string& path)
{
	if (mkdir (path.c_str (), 0755) == 0 || errno == EEXIST)
		return true;
	std::fprintf (stderr, "zorv-lv2-turtle: cannot create %s: %s\n", path.c_str (), std::strerror (errno));
	return false;
}

} // namespace

int main (int argc, char** argv)
{
	if (argc != 2)
	{
		std::fprintf (stderr, "usage: zorv-lv2-turtle BUNDLE_DIR\n");
		return 2;
	}
	const std::string bundle = argv[1];
	if (!makeFolder (bundle) || !makeFolder (bundle + "/presets"))
		return 1;
	bool ok = write (bundle + "/manifest.ttl", manifest ()) && write (bundle + "/zorv.ttl", pluginDescription ());
	for (const tavik_factory_preset& preset : TAVIK_FACTORY_PRESETS)
		ok = ok && write (bundle + "/presets/" + preset.id + ".ttl", presetDescription (preset));
	return ok ? 0 : 1;
}
