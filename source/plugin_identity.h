// The product's identity as every part of it reports it.
#pragma once

namespace tavik {

constexpr const char* PRODUCT_NAME = "Zorv";
constexpr const char* PRODUCT_VENDOR = "Tavik Music";
constexpr const char* PRODUCT_URL = "https://tavik.music";
constexpr const char* PRODUCT_EMAIL = "mailto:support@tavik.music";
constexpr const char* PRODUCT_VERSION = "0.0.0";
constexpr const char* PRODUCT_SDK_VERSION = "VST 3.8.1";
/** Package identifier reported in diagnostics. */
constexpr const char* PRODUCT_PACKAGE_ID = "music.tavik.zorv";

} // namespace tavik
