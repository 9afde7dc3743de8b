#include "vst_preset_file.h"

#include "product_identity.h"

#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/vstpresetfile.h"

#include <cstring>

namespace tavik {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// The processor's class id: preset files name the component they belong to.
FUID processorClassId ()
{
	return FUID (classIdWord (PROCESSOR_ID_WORD0, 0), classIdWord (PROCESSOR_ID_WORD0, 1),
	             classIdWord (PROCESSOR_ID_WORD0, 2), classIdWord (PROCESSOR_ID_WORD0, 3));
}

// A stream over text it does not own, read from the start.
IPtr<MemoryStream> readingStream (const std::string& text)
{
	return owned (new MemoryStream (const_cast<char*> (text.data ()), static_cast<TSize> (text.size ())));
}

// The bytes of one chunk, when it lies wholly inside the file.
bool chunkBytes (const std::string& bytes, const PresetFile::Entry& entry, std::string& out)
{
	const auto size = static_cast<TSize> (bytes.size ());
	if (entry.offset < 0 || entry.size < 0 || entry.offset > size || entry.size > size - entry.offset)
		return false;
	out.assign (bytes, static_cast<size_t> (entry.offset), static_cast<size_t> (entry.size));
	return true;
}

// The chunk list must be whole: the SDK's reader keeps the entries it got
// before the file ended, so a file cut inside the list would lose a chunk
// without a word.
bool chunkListComplete (const std::string& bytes, int32 entriesRead)
{
	int64 listOffset = 0;
	int32 declared = 0;
	std::memcpy (&listOffset, bytes.data () + 40, sizeof listOffset);
	if (listOffset < 0 || static_cast<uint64> (listOffset) + 8 > bytes.size ())
		return false;
	std::memcpy (&declared, bytes.data () + listOffset + 4, sizeof declared);
	constexpr int64 ENTRY_BYTES = 4 + 8 + 8;
	return declared == entriesRead && listOffset + 8 + declared * ENTRY_BYTES <= static_cast<int64> (bytes.size ());
}

} // namespace

std::string writePresetFile (const std::string& componentState, const std::string& controllerState)
{
	if (componentState.size () > PRESET_FILE_MAX_BYTES / 2 || controllerState.size () > PRESET_FILE_MAX_BYTES / 2)
		return {};
	IPtr<MemoryStream> file = owned (new MemoryStream ());
	IPtr<MemoryStream> component = readingStream (componentState);
	IPtr<MemoryStream> controller = readingStream (controllerState);
	if (!PresetFile::savePreset (file, processorClassId (), component, controller, nullptr, -1))
		return {};
	return std::string (file->getData (), static_cast<size_t> (file->getSize ()));
}

bool presetFileHeaderIsOurs (const std::string& head, std::string& problem)
{
	if (head.size () < PRESET_FILE_HEADER_BYTES || std::memcmp (head.data (), "VST3", 4) != 0)
	{
		problem = "not a VST 3 preset, or cut short";
		return false;
	}
	// Read as the SDK's reader reads it (hexadecimal in either case).
	char text[33] = {};
	std::memcpy (text, head.data () + 8, 32);
	FUID named;
	if (!named.fromString (text) || named != processorClassId ())
	{
		problem = "a preset of another plug-in";
		return false;
	}
	return true;
}

bool readPresetFile (const std::string& bytes, PresetFileStates& out, std::string& error)
{
	out = PresetFileStates ();
	if (bytes.empty ())
	{
		error = "the file is empty";
		return false;
	}
	if (bytes.size () > PRESET_FILE_MAX_BYTES)
	{
		error = "the file is too large to be a preset (" + std::to_string (bytes.size ()) + " bytes)";
		return false;
	}
	IPtr<MemoryStream> stream = readingStream (bytes);
	PresetFile file (stream);
	if (!file.readChunkList () || !chunkListComplete (bytes, file.getEntryCount ()))
	{
		error = "the file is not a VST 3 preset, or it is cut short";
		return false;
	}
	if (file.getClassID () != processorClassId ())
	{
		error = "the preset belongs to another plug-in";
		return false;
	}
	const PresetFile::Entry* component = file.getEntry (kComponentState);
	if (!component)
	{
		error = "the preset holds no sound (its component state is missing)";
		return false;
	}
	if (!chunkBytes (bytes, *component, out.component))
	{
		error = "the preset is damaged (its sound lies outside the file)";
		return false;
	}
	if (const PresetFile::Entry* controller = file.getEntry (kControllerState))
	{
		if (!chunkBytes (bytes, *controller, out.controller))
		{
			error = "the preset is damaged (its controller state lies outside the file)";
			return false;
		}
		out.hasController = true;
	}
	return true;
}

} // namespace tavik
