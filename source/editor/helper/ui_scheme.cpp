#include "ui_scheme.h"

#include "ui_resource.h"

#include <cstring>

namespace tavik {

namespace {

constexpr const char* SCHEME = "tavik-ui";
// No page file comes near this; anything larger is not ours to serve.
constexpr gsize MAX_FILE_BYTES = 256u << 20;

struct SchemeRoot
{
	std::string root;
};

void refuse (WebKitURISchemeRequest* request, const char* why)
{
	GError* error = g_error_new (G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "file does not exist: %s", why);
	webkit_uri_scheme_request_finish_error (request, error);
	g_error_free (error);
}

void serve (WebKitURISchemeRequest* request, gpointer data)
{
	const SchemeRoot& scheme = *static_cast<const SchemeRoot*> (data);
	const gchar* rawPath = webkit_uri_scheme_request_get_path (request);
	gchar* decoded = g_uri_unescape_string (rawPath ? rawPath : "", nullptr);
	if (!decoded)
	{
		refuse (request, "undecodable path");
		return;
	}
	const std::string path (decoded);
	g_free (decoded);

	std::string file;
	if (!resolveUiRequest (scheme.root, path, file))
	{
		refuse (request, path.c_str ());
		return;
	}
	gchar* contents = nullptr;
	gsize length = 0;
	if (!g_file_get_contents (file.c_str (), &contents, &length, nullptr) || length > MAX_FILE_BYTES)
	{
		g_free (contents);
		refuse (request, path.c_str ());
		return;
	}
	GBytes* bytes = g_bytes_new_take (contents, length);
	GInputStream* stream = g_memory_input_stream_new_from_bytes (bytes);
	WebKitURISchemeResponse* response = webkit_uri_scheme_response_new (stream, static_cast<gint64> (length));
	const char* mime = uiMimeType (file);
	webkit_uri_scheme_response_set_content_type (response, mime);
	SoupMessageHeaders* headers = soup_message_headers_new (SOUP_MESSAGE_HEADERS_RESPONSE);
	const std::string contentType = std::string (mime) + "; charset=utf-8";
	soup_message_headers_append (headers, "Content-Type", contentType.c_str ());
	soup_message_headers_append (headers, "Cache-Control", "no-store");
	webkit_uri_scheme_response_set_http_headers (response, headers);
	webkit_uri_scheme_request_finish_with_response (request, response);
	g_object_unref (response);
	g_object_unref (stream);
	g_bytes_unref (bytes);
}

} // namespace

void registerUiScheme (WebKitWebContext* context, const std::string& root)
{
	auto* scheme = new SchemeRoot {standardizePath (root)};
	webkit_web_context_register_uri_scheme (context, SCHEME, serve, scheme,
	                                        [] (gpointer data) { delete static_cast<SchemeRoot*> (data); });
	// The page's own origin: secure (so modules and modern APIs work) and
	// able to load its own module scripts, which need CORS.
	WebKitSecurityManager* security = webkit_web_context_get_security_manager (context);
	webkit_security_manager_register_uri_scheme_as_secure (security, SCHEME);
	webkit_security_manager_register_uri_scheme_as_cors_enabled (security, SCHEME);
}

} // namespace tavik
