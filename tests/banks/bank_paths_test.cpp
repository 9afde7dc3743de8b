#include "bank_files.h"
#include "bank_paths.h"
#include "temp_directory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sys/stat.h>

namespace {

using tavik::BankPathResolution;
using tavik::FileRead;
using tavik::test::TempDirectory;

TEST (BankPaths, JoinPathAddsExactlyOneSeparator)
{
	EXPECT_EQ (tavik::joinPath ("/banks/a", "bank.json"), "/banks/a/bank.json");
	EXPECT_EQ (tavik::joinPath ("/banks/a/", "bank.json"), "/banks/a/bank.json");
	EXPECT_EQ (tavik::joinPath ("/banks/a", "/etc/passwd"), "/etc/passwd");
	EXPECT_EQ (tavik::joinPath ("", "bank.json"), "bank.json");
	EXPECT_EQ (tavik::joinPath ("/banks/a", ""), "/banks/a");
	EXPECT_EQ (tavik::joinPath ("", ""), "");
	EXPECT_EQ (tavik::joinPath ("rel", "x/y"), "rel/x/y");
}

TEST (BankPaths, ContainmentLooksAtEveryComponent)
{
	for (const char* inside : {"a.wav", "audio/a.wav", "./audio/./a.wav", "audio//a.wav", "audio/", ".", "...", "..a/b",
	                           "a../b", "audio/..wav", ".hidden"})
		EXPECT_TRUE (tavik::pathIsContained (inside)) << inside;
	for (const char* outside : {"", "/a.wav", "/", "..", "../a.wav", "audio/../a.wav", "audio/..", "a/../../b",
	                            "audio\\a.wav", "\\a.wav", "a\\..\\b"})
		EXPECT_FALSE (tavik::pathIsContained (outside)) << outside;
}

TEST (BankPaths, ResolutionFollowsLinksAndComparesWholeComponents)
{
	TempDirectory temp;
	temp.write ("bank/audio/a.wav", "a");
	temp.write ("bank2/secret.wav", "s");
	temp.write ("outside.wav", "o");
	temp.link ("bank/in.wav", "audio/a.wav");
	temp.link ("bank/out.wav", "../outside.wav");
	temp.link ("bank/absolute.wav", temp.path ("outside.wav"));
	temp.link ("bank/sibling.wav", "../bank2/secret.wav"); // shares the bank's name as a prefix
	temp.link ("bank/linked", "../bank2");
	temp.link ("bank/dangling.wav", "nowhere.wav");
	const std::string bank = temp.path ("bank");

	std::string resolved = "stale";
	EXPECT_EQ (tavik::resolveBankPath (bank, "audio/a.wav", resolved), BankPathResolution::Inside);
	EXPECT_EQ (resolved, temp.path ("bank/audio/a.wav"));
	EXPECT_EQ (tavik::resolveBankPath (bank, "./audio//a.wav", resolved), BankPathResolution::Inside);
	EXPECT_EQ (resolved, temp.path ("bank/audio/a.wav"));
	EXPECT_EQ (tavik::resolveBankPath (bank, "in.wav", resolved), BankPathResolution::Inside);
	EXPECT_EQ (resolved, temp.path ("bank/audio/a.wav"));

	for (const char* escaping : {"out.wav", "absolute.wav", "sibling.wav", "linked/secret.wav"})
	{
		EXPECT_EQ (tavik::resolveBankPath (bank, escaping, resolved), BankPathResolution::Outside) << escaping;
		EXPECT_TRUE (resolved.empty ());
	}
	EXPECT_EQ (tavik::resolveBankPath (bank, "missing.wav", resolved), BankPathResolution::Unresolved);
	EXPECT_EQ (tavik::resolveBankPath (bank, "dangling.wav", resolved), BankPathResolution::Unresolved);
	EXPECT_EQ (tavik::resolveBankPath (temp.path ("nobank"), "a.wav", resolved), BankPathResolution::Unresolved);
	EXPECT_TRUE (resolved.empty ());
}

TEST (BankPaths, ABankDirectoryReachedThroughALinkKeepsItsFiles)
{
	TempDirectory temp;
	temp.write ("store/bank/a.wav", "a");
	temp.link ("current", "store/bank");
	std::string resolved;
	EXPECT_EQ (tavik::resolveBankPath (temp.path ("current"), "a.wav", resolved), BankPathResolution::Inside);
	EXPECT_EQ (resolved, temp.path ("store/bank/a.wav"));
	EXPECT_EQ (tavik::resolveBankPath (temp.path ("current") + "/", "a.wav", resolved), BankPathResolution::Inside);
}

TEST (BankFiles, ReadsWholeRegularFiles)
{
	TempDirectory temp;
	const std::string bytes ("\x00\x01\xFFz\r\n", 6);
	temp.write ("f.bin", bytes);
	temp.write ("empty.bin", "");
	std::vector<uint8_t> out {7};
	ASSERT_TRUE (tavik::readWholeFile (temp.path ("f.bin"), out));
	EXPECT_EQ (out, std::vector<uint8_t> (bytes.begin (), bytes.end ()));
	ASSERT_TRUE (tavik::readWholeFile (temp.path ("empty.bin"), out));
	EXPECT_TRUE (out.empty ());
}

TEST (BankFiles, FailsWithoutTouchingTheOutput)
{
	TempDirectory temp;
	temp.write ("ten.bin", "0123456789");
	temp.write ("dir/inner", "x");
	const std::vector<uint8_t> before {1, 2, 3};
	std::vector<uint8_t> out = before;
	EXPECT_FALSE (tavik::readWholeFile (temp.path ("missing"), out));
	EXPECT_FALSE (tavik::readWholeFile (temp.path ("dir"), out));
	EXPECT_FALSE (tavik::readWholeFile ("/dev/zero", out)); // a device would never end
	EXPECT_FALSE (tavik::readWholeFile (temp.path ("ten.bin"), out, 9));
	EXPECT_EQ (out, before);
	EXPECT_TRUE (tavik::readWholeFile (temp.path ("ten.bin"), out, 10));
	EXPECT_EQ (out.size (), 10u);

	uint64_t size = 0;
	out = before;
	EXPECT_EQ (tavik::readBoundedFile (temp.path ("ten.bin"), 9, out, size), FileRead::TooLarge);
	EXPECT_EQ (size, 10u);
	EXPECT_EQ (out, before);
	EXPECT_EQ (tavik::readBoundedFile (temp.path ("dir"), 100, out, size), FileRead::Unreadable);
	EXPECT_EQ (tavik::readBoundedFile (temp.path ("missing"), 100, out, size), FileRead::Unreadable);
	EXPECT_EQ (size, 0u);
}

TEST (BankFiles, AFifoIsRefusedWithoutWaitingForAWriter)
{
	TempDirectory temp;
	ASSERT_EQ (::mkfifo (temp.path ("pipe").c_str (), 0600), 0);
	temp.link ("to-pipe", "pipe");
	std::vector<uint8_t> out;
	const auto start = std::chrono::steady_clock::now ();
	EXPECT_FALSE (tavik::readWholeFile (temp.path ("pipe"), out));
	EXPECT_FALSE (tavik::readWholeFile (temp.path ("to-pipe"), out));
	EXPECT_LT (std::chrono::steady_clock::now () - start, std::chrono::seconds (5));
}

TEST (BankFiles, Sha256MatchesTheStandardVectors)
{
	const auto hex = [] (const std::string& text) {
		return tavik::sha256Hex (reinterpret_cast<const uint8_t*> (text.data ()), text.size ());
	};
	EXPECT_EQ (hex ("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
	EXPECT_EQ (hex (""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
	EXPECT_EQ (tavik::sha256Hex (nullptr, 0), hex (""));
	EXPECT_EQ (hex ("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
	           "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
	EXPECT_EQ (hex (std::string (1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

} // namespace
