// This plug-in's sounds as standard VST 3 preset files (".vstpreset": the
// component state and the controller state in the SDK's chunk format), the
// files hosts list as user presets. The texts inside are the plug-in's own
// state documents.
#pragma once

#include <cstddef>
#include <string>

namespace tavik {

/** Larger files are refused unread: a state document is a few kilobytes. */
constexpr size_t PRESET_FILE_MAX_BYTES = 8u << 20;

/** A preset file starts with its magic, format version, the class id of the
 *  plug-in it belongs to (32 characters) and where its chunk list lies. */
constexpr size_t PRESET_FILE_HEADER_BYTES = 48;

struct PresetFileStates
{
	std::string component;
	std::string controller;
	bool hasController = false;
};

/** A preset file of this plug-in holding both states; empty when it cannot
 *  be made. */
std::string writePresetFile (const std::string& componentState, const std::string& controllerState);

/** Whether the start of a file (its first PRESET_FILE_HEADER_BYTES) is a
 *  preset file's header naming this plug-in; the reason in `problem` when
 *  not. Enough to list a folder of presets without reading them whole. */
bool presetFileHeaderIsOurs (const std::string& head, std::string& problem);

/** Takes the two states out of a preset file of this plug-in. False, with a
 *  sentence for the musician in `error`, when the bytes are not one
 *  (truncated, another plug-in's, too large, damaged). */
bool readPresetFile (const std::string& bytes, PresetFileStates& out, std::string& error);

} // namespace tavik
