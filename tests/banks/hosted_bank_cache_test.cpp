#include "hosted_bank_cache.h"
#include "scoped_variable.h"
#include "temp_directory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

using tavik::test::ScopedVariable;
using tavik::test::TempDirectory;

TEST (HostedBankCache, LiesUnderAnAbsoluteXdgDataHomeAndIsCreated)
{
	TempDirectory temp;
	const std::string dataHome = temp.path ("data/deeper");
	const ScopedVariable xdg ("XDG_DATA_HOME", dataHome.c_str ());
	const ScopedVariable home ("HOME", temp.path ("home").c_str ());
	const std::string root = tavik::hostedBankCacheRoot ();
	EXPECT_EQ (root, dataHome + "/Tavik/banks");
	EXPECT_TRUE (std::filesystem::is_directory (root));
	EXPECT_FALSE (std::filesystem::exists (temp.path ("home")));
	EXPECT_EQ (tavik::hostedBankCacheRoot (), root); // already there

	const ScopedVariable slash ("XDG_DATA_HOME", (dataHome + "/").c_str ());
	EXPECT_EQ (tavik::hostedBankCacheRoot (), root);
}

TEST (HostedBankCache, FallsBackToTheHomeDirectory)
{
	TempDirectory temp;
	const ScopedVariable home ("HOME", temp.path ().c_str ());
	const std::string expected = temp.path (".local/share/Tavik/banks");
	{
		const ScopedVariable xdg ("XDG_DATA_HOME", "relative/data");
		EXPECT_EQ (tavik::hostedBankCacheRoot (), expected);
		EXPECT_FALSE (std::filesystem::exists ("relative/data"));
	}
	{
		const ScopedVariable xdg ("XDG_DATA_HOME", "");
		EXPECT_EQ (tavik::hostedBankCacheRoot (), expected);
	}
	const ScopedVariable xdg ("XDG_DATA_HOME", nullptr);
	EXPECT_EQ (tavik::hostedBankCacheRoot (), expected);
	EXPECT_TRUE (std::filesystem::is_directory (expected));
}

TEST (HostedBankCache, IsEmptyWhenItCannotBeLocatedOrCreated)
{
	TempDirectory temp;
	const ScopedVariable xdg ("XDG_DATA_HOME", nullptr);
	{
		const ScopedVariable home ("HOME", nullptr);
		EXPECT_EQ (tavik::hostedBankCacheRoot (), "");
	}
	{
		const ScopedVariable home ("HOME", "relative-home");
		EXPECT_EQ (tavik::hostedBankCacheRoot (), "");
	}
	// A file where a directory of the path must go.
	temp.write ("blocked", "not a directory");
	const ScopedVariable blocked ("XDG_DATA_HOME", temp.path ("blocked").c_str ());
	EXPECT_EQ (tavik::hostedBankCacheRoot (), "");
	temp.write ("data/Tavik/banks", "a file, not a directory");
	const ScopedVariable file ("XDG_DATA_HOME", temp.path ("data").c_str ());
	EXPECT_EQ (tavik::hostedBankCacheRoot (), "");
}

TEST (HostedBankCache, OnlyADigestNamesAFolderOfIt)
{
	const std::string digest = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
	EXPECT_TRUE (tavik::isHostedBankDigest (digest));
	EXPECT_EQ (tavik::hostedBankFolder ("/cache", digest), "/cache/" + digest);
	EXPECT_EQ (tavik::hostedBankFolder ("", digest), "");
	std::string escaping = "../../../victim";
	escaping.insert (0, 64 - escaping.size (), '/');
	std::string upper = digest;
	upper[10] = 'A';
	std::string nul = digest;
	nul[63] = '\0';
	for (const std::string& pin :
	     {escaping, std::string (64, '.'), upper, nul, digest + "0", digest.substr (1), std::string ()})
	{
		EXPECT_FALSE (tavik::isHostedBankDigest (pin)) << pin;
		EXPECT_EQ (tavik::hostedBankFolder ("/cache", pin), "") << pin;
	}
}

} // namespace
