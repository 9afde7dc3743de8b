// The product's identity as every part of it reports it: names, version,
// and the words its two class ids are built from.
#pragma once

#include <cstdint>

namespace tavik {

constexpr const char* PRODUCT_NAME = "Zorv";
constexpr const char* PRODUCT_VENDOR = "Tavik Music";
constexpr const char* PRODUCT_URL = "https://tavik.music";
constexpr const char* PRODUCT_EMAIL = "mailto:support@tavik.music";
constexpr const char* PRODUCT_VERSION = "0.0.0";
constexpr const char* PRODUCT_SDK_VERSION = "VST 3.8.1";
/** Package identifier reported in diagnostics. */
constexpr const char* PRODUCT_PACKAGE_ID = "music.tavik.zorv";

/** Each class id is four words stepping by this constant (mod 2^32). */
constexpr uint32_t CLASS_ID_STEP = 16777619u; // 0x01000193

/** First words of the class ids: "Zorv" and "ZorC" in ASCII. */
constexpr uint32_t PROCESSOR_ID_WORD0 = 0x5A6F7276u;
constexpr uint32_t CONTROLLER_ID_WORD0 = 0x5A6F7243u;

constexpr uint32_t classIdWord (uint32_t word0, uint32_t index) { return word0 + index * CLASS_ID_STEP; }

} // namespace tavik
