#include "ui_manifest.h"

#include "module_path.h"

#include <cstdio>
#include <cstring>

namespace tavik {

void uiManifestString (const std::string& json, const char* key, char* out, size_t outSize)
{
	if (!out || outSize == 0)
		return;
	out[0] = 0;
	if (!key)
		return;
	const std::string quotedKey = std::string ("\"") + key + "\"";
	const size_t n = json.size ();
	int depth = 0;
	bool inString = false;
	for (size_t i = 0; i < n; ++i)
	{
		const char c = json[i];
		if (inString)
		{
			if (c == '\\')
				++i; // the next character is escaped
			else if (c == '"')
				inString = false;
			continue;
		}
		if (c == '{' || c == '[')
			++depth;
		else if (c == '}' || c == ']')
		{
			if (depth == 0)
				return;
			--depth;
		}
		else if (c == '"')
		{
			if (depth == 1 && json.compare (i, quotedKey.size (), quotedKey) == 0)
			{
				size_t p = i + quotedKey.size ();
				auto skipBlanks = [&] {
					while (p < n && (json[p] == ' ' || json[p] == '\t' || json[p] == '\n' || json[p] == '\r'))
						++p;
				};
				skipBlanks ();
				if (p >= n || json[p] != ':')
				{
					inString = true; // it was an ordinary string after all
					continue;
				}
				++p;
				skipBlanks ();
				if (p >= n || json[p] != '"')
					return;
				++p;
				size_t w = 0;
				while (p < n && json[p] != '"' && json[p] != '\\' && w + 1 < outSize)
					out[w++] = json[p++];
				out[w] = 0;
				return;
			}
			inString = true;
		}
	}
}

UiBundleFacts readUiBundleFactsFromFile (const std::string& manifestPath)
{
	UiBundleFacts facts;
	std::FILE* file = std::fopen (manifestPath.c_str (), "rb");
	if (!file)
		return facts;
	std::string text;
	char piece[4096];
	size_t n;
	bool tooLarge = false;
	while ((n = std::fread (piece, 1, sizeof (piece), file)) > 0)
	{
		text.append (piece, n);
		if (text.size () > UI_MANIFEST_MAX_BYTES)
		{
			tooLarge = true;
			break;
		}
	}
	std::fclose (file);
	if (tooLarge || text.empty ())
		return facts;
	uiManifestString (text, "buildTime", facts.buildTime, sizeof (facts.buildTime));
	uiManifestString (text, "sourceRevision", facts.sourceRevision, sizeof (facts.sourceRevision));
	uiManifestString (text, "sha256", facts.sha256, sizeof (facts.sha256));
	return facts;
}

std::string uiManifestPathForImage (const std::string& imagePath)
{
	std::string path = imagePath;
	for (int i = 0; i < 2; ++i)
	{
		const size_t slash = path.rfind ('/');
		path = slash == std::string::npos ? std::string () : path.substr (0, slash);
	}
	return path + "/Resources/ui/manifest.json";
}

const UiBundleFacts& readUiBundleFacts ()
{
	static const UiBundleFacts facts = [] {
		const std::string image = modulePath ();
		return image.empty () ? UiBundleFacts () : readUiBundleFactsFromFile (uiManifestPathForImage (image));
	}();
	return facts;
}

} // namespace tavik
