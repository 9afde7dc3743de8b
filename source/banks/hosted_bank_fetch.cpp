#include "hosted_bank_fetch.h"

#include "hosted_bank_cache.h"
#include "hosted_url_check.h"

#include <sys/stat.h>

namespace tavik {

HostedFetchStart prepareHostedFetch (const std::string& url, const std::string& digest, HostedFetchPlan& plan,
                                     std::string& bankDirectory, std::string& error)
{
	plan = HostedFetchPlan ();
	bankDirectory.clear ();
	error.clear ();
	if (!isHostedBankDigest (digest))
	{
		error = digest.size () != 64 ? "a hosted bank must pin a 64-hex sha256"
		                             : "a hosted bank must pin its sha256 in lowercase hex digits";
		return HostedFetchStart::Failed;
	}
	const std::string root = hostedBankCacheRoot ();
	if (root.empty ())
	{
		error = "cannot create the bank cache directory";
		return HostedFetchStart::Failed;
	}
	const std::string target = hostedBankFolder (root, digest);
	struct stat info;
	if (::lstat (target.c_str (), &info) == 0 && S_ISDIR (info.st_mode))
	{
		bankDirectory = target;
		return HostedFetchStart::Cached;
	}
	switch (lookAtHostedUrl (url))
	{
		case HostedUrlLook::NotAUrl: error = HOSTED_URL_NOT_A_URL; return HostedFetchStart::Failed;
		case HostedUrlLook::NotHttps: error = HOSTED_URL_NOT_HTTPS; return HostedFetchStart::Failed;
		case HostedUrlLook::ForTheDownload: break;
	}
	plan.url = url;
	plan.digest = digest;
	plan.target = target;
	return HostedFetchStart::Download;
}

} // namespace tavik
