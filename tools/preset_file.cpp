#include "preset_file.h"

#include "plugin_instance.h"

#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/vstpresetfile.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tavik::tools {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Far above any state a plug-in writes; a larger file is no preset.
constexpr std::streamoff MAX_PRESET_FILE_BYTES = 64 << 20;

std::string chunkOf (const std::string& bytes, const PresetFile::Entry& entry, const std::string& path,
                     const char* what)
{
	const auto size = static_cast<TSize> (bytes.size ());
	if (entry.offset < 0 || entry.size < 0 || entry.offset > size || entry.size > size - entry.offset)
		throw std::runtime_error (path + ": preset: its " + what + " lies outside the file (damaged)");
	return bytes.substr (static_cast<size_t> (entry.offset), static_cast<size_t> (entry.size));
}

} // namespace

bool namesPresetFile (const std::string& argument)
{
	const std::string extension = ".vstpreset";
	return argument.size () > extension.size () &&
	       argument.compare (argument.size () - extension.size (), extension.size (), extension) == 0;
}

PresetFileContents readPresetFile (const std::string& path, const TUID classId)
{
	std::ifstream in (path, std::ios::binary | std::ios::ate);
	if (!in)
		throw std::runtime_error (path + ": cannot read the file");
	const std::streamoff length = in.tellg ();
	if (length > MAX_PRESET_FILE_BYTES)
		throw std::runtime_error (path + ": preset: too large to be a preset (" + std::to_string (length) + " bytes)");
	in.seekg (0);
	const std::string bytes ((std::istreambuf_iterator<char> (in)), std::istreambuf_iterator<char> ());

	IPtr<MemoryStream> stream =
		owned (new MemoryStream (const_cast<char*> (bytes.data ()), static_cast<TSize> (bytes.size ())));
	PresetFile file (stream);
	// The SDK's reader keeps what it read of a chunk list cut short: the
	// list must hold every entry it declares.
	int64 listOffset = 0;
	int32 declared = -1;
	if (bytes.size () >= 48)
		std::memcpy (&listOffset, bytes.data () + 40, sizeof listOffset);
	if (listOffset > 0 && static_cast<uint64> (listOffset) + 8 <= bytes.size ())
		std::memcpy (&declared, bytes.data () + listOffset + 4, sizeof declared);
	if (!file.readChunkList () || declared != file.getEntryCount () ||
	    listOffset + 8 + static_cast<int64> (declared) * 20 > static_cast<int64> (bytes.size ()))
		throw std::runtime_error (path + ": preset: not a VST 3 preset file, or cut short");
	if (file.getClassID () != FUID::fromTUID (classId))
	{
		char found[33] = {};
		file.getClassID ().toString (found);
		throw std::runtime_error (path + ": preset: it belongs to another plug-in (class " + found + ")");
	}
	const PresetFile::Entry* component = file.getEntry (kComponentState);
	if (!component)
		throw std::runtime_error (path + ": preset: it holds no component state");
	PresetFileContents contents;
	contents.componentState = chunkOf (bytes, *component, path, "component state");
	if (const PresetFile::Entry* controller = file.getEntry (kControllerState))
	{
		contents.controllerState = chunkOf (bytes, *controller, path, "controller state");
		contents.hasControllerState = true;
	}
	return contents;
}

void loadPresetFile (PluginInstance& plugin, const std::string& path, const PClassInfo& classInfo)
{
	const PresetFileContents preset = readPresetFile (path, classInfo.cid);
	if (!plugin.restoreState (preset.componentState))
		throw std::runtime_error (path + ": preset: the plug-in refused its component state");
	if (preset.hasControllerState && !plugin.restoreControllerState (preset.controllerState))
		throw std::runtime_error (path + ": preset: the plug-in refused its controller state");
}

} // namespace tavik::tools
