#include "editor_protocol.h"

#include "json_tree.h"
#include "json_writer.h"

#include <algorithm>
#include <cmath>

namespace tavik {

namespace {

int dimension (const JsonValue& object, const char* key)
{
	const JsonValue* value = object.find (key);
	if (!value || value->kind != JsonValue::Kind::Number || !std::isfinite (value->number))
		return 0;
	if (value->number < 0)
		return 0;
	return value->number > 100000 ? 100000 : static_cast<int> (value->number);
}

// X window ids are 29-bit numbers; 0 means none.
unsigned long windowId (const JsonValue& object, const char* key)
{
	const JsonValue* value = object.find (key);
	if (value && value->kind == JsonValue::Kind::Number && value->number >= 1 && value->number < 4294967296.0 &&
	    value->number == std::floor (value->number))
		return static_cast<unsigned long> (value->number);
	return 0;
}

} // namespace

bool isOneJsonValue (const std::string& line)
{
	JsonValue value;
	return parseJsonDocument (line.data (), line.size (), value, EDITOR_LINE_MAX_VALUES);
}

EditorControl parseEditorControl (const std::string& line)
{
	EditorControl control;
	// Cheap refusal first: page messages are by far the most lines.
	if (line.find ("\"editor\"") == std::string::npos)
		return control;
	JsonValue value;
	if (!parseJsonDocument (line.data (), line.size (), value, EDITOR_LINE_MAX_VALUES) ||
	    value.kind != JsonValue::Kind::Object)
		return control;
	const JsonValue* kind = value.find ("editor");
	if (!kind || kind->kind != JsonValue::Kind::String)
		return control;
	if (kind->string == "started")
	{
		control.kind = EditorControl::Kind::Started;
		control.window = windowId (value, "window");
	}
	else if (kind->string == "error")
	{
		control.kind = EditorControl::Kind::Error;
		control.reason = value.str ("reason", "");
	}
	else if (kind->string == "size")
	{
		control.kind = EditorControl::Kind::Size;
		control.width = dimension (value, "width");
		control.height = dimension (value, "height");
	}
	else if (kind->string == "park")
	{
		control.kind = EditorControl::Kind::Park;
		const JsonValue* keep = value.find ("keep");
		control.seconds =
			keep && keep->kind == JsonValue::Kind::Number && std::isfinite (keep->number) && keep->number > 0
				? std::min (keep->number, 24 * 3600.0)
				: 0;
	}
	else if (kind->string == "parked")
		control.kind = EditorControl::Kind::Parked;
	else if (kind->string == "embed")
	{
		control.kind = EditorControl::Kind::Embed;
		control.width = dimension (value, "width");
		control.height = dimension (value, "height");
		control.parent = windowId (value, "parent");
	}
	else
		control.kind = EditorControl::Kind::Unknown;
	return control;
}

std::string editorStartedLine (unsigned long window)
{
	return "{\"editor\":\"started\",\"window\":" + std::to_string (window) + "}";
}

std::string editorErrorLine (const std::string& reason)
{
	std::string line = "{\"editor\":\"error\",\"reason\":";
	jsonAppendQuoted (line, reason.c_str ());
	return line + "}";
}

std::string editorSizeLine (int width, int height)
{
	return "{\"editor\":\"size\",\"width\":" + std::to_string (width) + ",\"height\":" + std::to_string (height) + "}";
}

std::string editorParkLine (double keepSeconds)
{
	std::string line = "{\"editor\":\"park\",\"keep\":";
	jsonAppendNumber (line, keepSeconds);
	return line + "}";
}

std::string editorParkedLine () { return "{\"editor\":\"parked\"}"; }

std::string editorEmbedLine (unsigned long parent, int width, int height)
{
	return "{\"editor\":\"embed\",\"parent\":" + std::to_string (parent) + ",\"width\":" + std::to_string (width) +
	       ",\"height\":" + std::to_string (height) + "}";
}

} // namespace tavik
