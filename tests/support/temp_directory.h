// Test helper: a fresh directory under the test temp folder, removed with
// everything in it when the helper goes.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace tavik::test {

class TempDirectory
{
public:
	TempDirectory ()
	{
		std::string pattern = testing::TempDir () + "zorv_banks_XXXXXX";
		// Kept resolved, so tests can compare it with resolved paths.
		std::error_code error;
		if (::mkdtemp (pattern.data ()))
			root = std::filesystem::canonical (pattern, error).string ();
		EXPECT_FALSE (root.empty ()) << "mkdtemp failed for " << pattern;
	}
	~TempDirectory ()
	{
		std::error_code error;
		if (!root.empty ())
			std::filesystem::remove_all (root, error);
	}
	TempDirectory (const TempDirectory&) = delete;
	TempDirectory& operator= (const TempDirectory&) = delete;

	const std::string& path () const { return root; }
	std::string path (const std::string& relative) const { return root + "/" + relative; }

	/** Writes `bytes` to `relative`, creating its folders. */
	void write (const std::string& relative, const std::string& bytes) const
	{
		const std::filesystem::path file = path (relative);
		std::filesystem::create_directories (file.parent_path ());
		std::ofstream out (file, std::ios::binary | std::ios::trunc);
		out.write (bytes.data (), static_cast<std::streamsize> (bytes.size ()));
		EXPECT_TRUE (out.good ()) << "cannot write " << file;
	}

	/** A symbolic link at `relative` holding `target` as written. */
	void link (const std::string& relative, const std::string& target) const
	{
		const std::filesystem::path file = path (relative);
		std::filesystem::create_directories (file.parent_path ());
		std::filesystem::create_symlink (target, file);
	}

	/** A sparse file of `size` bytes: large on paper, nothing on disk. */
	void sparse (const std::string& relative, uintmax_t size) const
	{
		write (relative, "");
		std::filesystem::resize_file (path (relative), size);
	}

private:
	std::string root;
};

} // namespace tavik::test
