#include "https_download.h"

#include "bank_files.h"
#include "sha256_stream.h"

#include <curl/curl.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace tavik {

namespace {

constexpr long MAX_REDIRECTS = 10;

// What the write callback saw, to tell its refusals apart afterwards.
struct Transfer
{
	CURL* handle = nullptr;
	int fd = -1;
	uint64_t maxBytes = 0;
	uint64_t written = 0;
	Sha256Stream digest;
	long refusedStatus = 0; // a non-200 answer whose body was not wanted
	bool tooLarge = false;
	bool writeFailed = false;
	const std::atomic<bool>* cancel = nullptr;
};

size_t writeBody (char* data, size_t size, size_t count, void* context)
{
	Transfer& t = *static_cast<Transfer*> (context);
	const size_t length = size * count;
	long status = 0;
	curl_easy_getinfo (t.handle, CURLINFO_RESPONSE_CODE, &status);
	if (status != 200)
	{
		t.refusedStatus = status;
		return CURL_WRITEFUNC_ERROR;
	}
	if (length > t.maxBytes - t.written)
	{
		t.tooLarge = true;
		return CURL_WRITEFUNC_ERROR;
	}
	for (size_t done = 0; done < length;)
	{
		const ssize_t n = ::write (t.fd, data + done, length - done);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
		{
			t.writeFailed = true;
			return CURL_WRITEFUNC_ERROR;
		}
		done += static_cast<size_t> (n);
	}
	t.digest.update (data, length);
	t.written += length;
	return length;
}

int checkCancel (void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
	const Transfer& t = *static_cast<const Transfer*> (context);
	return t.cancel && t.cancel->load (std::memory_order_relaxed) ? 1 : 0;
}

// libcurl's process-wide set-up, reference counted and thread-safe in the
// versions we build against; held for the length of one download.
class CurlGlobal
{
public:
	CurlGlobal () : ok (curl_global_init (CURL_GLOBAL_DEFAULT) == CURLE_OK) {}
	~CurlGlobal ()
	{
		if (ok)
			curl_global_cleanup ();
	}
	CurlGlobal (const CurlGlobal&) = delete;
	CurlGlobal& operator= (const CurlGlobal&) = delete;
	const bool ok;
};

} // namespace

bool urlScheme (const std::string& url, std::string& scheme)
{
	scheme.clear ();
	CURLU* parsed = curl_url ();
	if (!parsed)
		return false;
	char* part = nullptr;
	const bool ok = curl_url_set (parsed, CURLUPART_URL, url.c_str (), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK &&
	                curl_url_get (parsed, CURLUPART_SCHEME, &part, 0) == CURLUE_OK && part;
	if (ok)
		for (const char* c = part; *c; ++c)
			scheme.push_back (static_cast<char> (std::tolower (static_cast<unsigned char> (*c))));
	curl_free (part);
	curl_url_cleanup (parsed);
	return ok;
}

HttpsDownload downloadToFile (const std::string& url, int fd, const HttpsDownloadOptions& options,
                              const std::atomic<bool>* cancel)
{
	HttpsDownload result;
	const CurlGlobal global;
	CURL* handle = global.ok ? curl_easy_init () : nullptr;
	if (!handle)
	{
		result.error = "download failed";
		return result;
	}
	Transfer transfer;
	transfer.handle = handle;
	transfer.fd = fd;
	transfer.maxBytes = options.maxBytes;
	transfer.cancel = cancel;
	char errorText[CURL_ERROR_SIZE] = {};

	const char* envCa = std::getenv ("SSL_CERT_FILE");
	const std::string caFile = !options.caFile.empty () ? options.caFile : envCa && *envCa ? envCa : "";

	curl_easy_setopt (handle, CURLOPT_URL, url.c_str ());
	curl_easy_setopt (handle, CURLOPT_PROTOCOLS_STR, "https");
	curl_easy_setopt (handle, CURLOPT_REDIR_PROTOCOLS_STR, "https");
	curl_easy_setopt (handle, CURLOPT_FOLLOWLOCATION, 1L);
	curl_easy_setopt (handle, CURLOPT_MAXREDIRS, MAX_REDIRECTS);
	curl_easy_setopt (handle, CURLOPT_SSL_VERIFYPEER, 1L);
	curl_easy_setopt (handle, CURLOPT_SSL_VERIFYHOST, 2L);
	if (!caFile.empty ())
		curl_easy_setopt (handle, CURLOPT_CAINFO, caFile.c_str ());
	curl_easy_setopt (handle, CURLOPT_NOSIGNAL, 1L); // no alarm signals: other threads run beside it
	curl_easy_setopt (handle, CURLOPT_CONNECTTIMEOUT, options.connectTimeoutSeconds);
	curl_easy_setopt (handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
	curl_easy_setopt (handle, CURLOPT_LOW_SPEED_TIME, options.stallTimeoutSeconds);
	curl_easy_setopt (handle, CURLOPT_TIMEOUT, options.totalTimeoutSeconds);
	curl_easy_setopt (handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t> (options.maxBytes));
	curl_easy_setopt (handle, CURLOPT_USERAGENT, "Zorv/0.0.0 (Tavik Music)");
	curl_easy_setopt (handle, CURLOPT_ERRORBUFFER, errorText);
	curl_easy_setopt (handle, CURLOPT_WRITEFUNCTION, writeBody);
	curl_easy_setopt (handle, CURLOPT_WRITEDATA, &transfer);
	curl_easy_setopt (handle, CURLOPT_NOPROGRESS, 0L);
	curl_easy_setopt (handle, CURLOPT_XFERINFOFUNCTION, checkCancel);
	curl_easy_setopt (handle, CURLOPT_XFERINFODATA, &transfer);
	// The digest is over the bytes as served: no transparent decoding.
	curl_easy_setopt (handle, CURLOPT_HTTP_CONTENT_DECODING, 0L);

	const CURLcode code = curl_easy_perform (handle);
	long status = 0;
	curl_easy_getinfo (handle, CURLINFO_RESPONSE_CODE, &status);
	curl_easy_cleanup (handle);

	char statusText[32];
	std::snprintf (statusText, sizeof statusText, "HTTP %ld", transfer.refusedStatus ? transfer.refusedStatus : status);
	if (cancel && cancel->load ())
		result.error = "the download was cancelled";
	else if (transfer.refusedStatus)
		result.error = statusText;
	else if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED)
		result.error = "the hosted bank is larger than the " + byteLimitText (options.maxBytes) + " download limit";
	else if (transfer.writeFailed)
		result.error = "cannot write the downloaded archive";
	else if (code != CURLE_OK)
		result.error = errorText[0] ? errorText : curl_easy_strerror (code);
	else if (status != 200)
		result.error = status ? statusText : "download failed";
	else
	{
		result.sha256 = transfer.digest.finishHex ();
		result.ok = !result.sha256.empty ();
		if (!result.ok)
			result.error = "download failed";
	}
	result.bytes = transfer.written;
	return result;
}

} // namespace tavik
