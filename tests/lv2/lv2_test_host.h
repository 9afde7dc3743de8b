// What the LV2 tests share: LV2_PATH naming the build's bundle (through a
// folder holding only a link to it, so lilv reads nothing else of the
// build) and the system's LV2 specifications, and a host on it.
#pragma once

#include "lv2_host.h"
#include "lv2_layout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace tavik::test {

// A folder of this process's own: ctest runs every case as a process, and
// a folder they shared would be replaced under another one's lilv scan.
inline void useBuildBundle ()
{
	// Kept for the whole process (never destroyed), so the exit handler
	// that removes the folder can still read its name.
	static const std::string* const dir = [] {
		std::string pattern = testing::TempDir () + "zorv_lv2_path_XXXXXX";
		if (!::mkdtemp (pattern.data ()))
			return static_cast<std::string*> (nullptr);
		std::error_code error;
		std::filesystem::create_directory_symlink (ZORV_LV2_BUNDLE_PATH, pattern + "/Zorv.lv2", error);
		setenv ("LV2_PATH", (pattern + ":/usr/lib/lv2").c_str (), 1);
		auto* kept = new std::string (pattern);
		std::atexit ([] {
			std::error_code ignored;
			if (dir)
				std::filesystem::remove_all (*dir, ignored);
		});
		return kept;
	}();
	EXPECT_NE (dir, nullptr) << "no folder for LV2_PATH";
}

inline std::unique_ptr<tools::Lv2Host> zorvHost (double rate = 48000, int block = 512)
{
	useBuildBundle ();
	auto host = std::make_unique<tools::Lv2Host> (lv2::PLUGIN_URI, rate, block);
	host->activate ();
	return host;
}

inline void queueNote (tools::Lv2Host& host, uint32_t frame, bool on, int note, int velocity, int channel = 0)
{
	const uint8_t bytes[3] = {static_cast<uint8_t> ((on ? 0x90 : 0x80) | channel), static_cast<uint8_t> (note),
	                          static_cast<uint8_t> (velocity)};
	host.queueMidi (frame, bytes, 3);
}

inline void queueController (tools::Lv2Host& host, uint32_t frame, int number, int value, int channel = 0)
{
	const uint8_t bytes[3] = {static_cast<uint8_t> (0xB0 | channel), static_cast<uint8_t> (number),
	                          static_cast<uint8_t> (value)};
	host.queueMidi (frame, bytes, 3);
}

} // namespace tavik::test
