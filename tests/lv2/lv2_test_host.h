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

namespace tavik::test {

inline void useBuildBundle ()
{
	static const bool done = [] {
		const std::string dir = testing::TempDir () + "zorv_lv2_path";
		std::filesystem::create_directories (dir);
		std::error_code error;
		std::filesystem::remove (dir + "/Zorv.lv2", error);
		std::filesystem::create_directory_symlink (ZORV_LV2_BUNDLE_PATH, dir + "/Zorv.lv2");
		setenv ("LV2_PATH", (dir + ":/usr/lib/lv2").c_str (), 1);
		return true;
	}();
	(void) done;
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
