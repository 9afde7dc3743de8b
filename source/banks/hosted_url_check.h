// A first look at a hosted bank's address, without a URL parser, so the
// controller answers the common mistakes at once: no address at all, an
// address that is not https. It says only what the download's URL parser
// would say too; an address it cannot judge goes to the download, which
// parses it in full before anything goes out and refuses it in the same
// words.
#pragma once

#include <string>

namespace tavik {

/** The two refusals of an address, wherever they are made. */
inline constexpr const char* HOSTED_URL_NOT_A_URL = "hosted bank url is not a valid URL";
inline constexpr const char* HOSTED_URL_NOT_HTTPS = "hosted banks must be served over https";

enum class HostedUrlLook
{
	NotAUrl,        // no scheme, or nothing a parser could read after it
	NotHttps,       // a plainly written address of another scheme
	ForTheDownload, // https (in any case), or an address only a parser can judge
};

HostedUrlLook lookAtHostedUrl (const std::string& url);

} // namespace tavik
