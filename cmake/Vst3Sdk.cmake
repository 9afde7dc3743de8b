# The VST 3 SDK subset from Debian's juce-modules-source-data, built as the
# static library `vst3sdk`, and the stand-ins of sdk-compat/ as `vst3sdk_compat`.
set(VST3_SDK_ROOT
    /usr/share/juce/modules/juce_audio_processors/format_types/VST3_SDK
    CACHE PATH "Folder holding the VST 3 SDK's pluginterfaces/, base/ and public.sdk/")

if(NOT EXISTS ${VST3_SDK_ROOT}/pluginterfaces/base/funknown.h)
  message(FATAL_ERROR "VST 3 SDK not found at ${VST3_SDK_ROOT}; "
                      "install the Debian package juce-modules-source-data")
endif()

file(GLOB_RECURSE VST3_SDK_SOURCES CONFIGURE_DEPENDS
     ${VST3_SDK_ROOT}/pluginterfaces/*.cpp
     ${VST3_SDK_ROOT}/base/*.cpp
     ${VST3_SDK_ROOT}/public.sdk/*.cpp)

set(VST3_COMPAT_ROOT ${CMAKE_CURRENT_SOURCE_DIR}/sdk-compat)

# The subset declares the editor-view interface ids but defines them nowhere;
# their definitions belong with the rest of the SDK's ids, so they are built
# into this library rather than the stand-ins below.
add_library(vst3sdk STATIC ${VST3_SDK_SOURCES}
            ${VST3_COMPAT_ROOT}/public.sdk/source/common/guiiids.cpp)
target_include_directories(vst3sdk SYSTEM PUBLIC ${VST3_SDK_ROOT})
target_compile_definitions(vst3sdk PUBLIC RELEASE=1)
# Third-party code: keep its own warnings out of our build log.
target_compile_options(vst3sdk PRIVATE -w)
find_package(Threads REQUIRED)
target_link_libraries(vst3sdk PUBLIC Threads::Threads ${CMAKE_DL_LIBS})

add_library(vst3sdk_compat STATIC
  ${VST3_COMPAT_ROOT}/public.sdk/source/vst/vstaudioeffect.cpp
  ${VST3_COMPAT_ROOT}/public.sdk/source/main/pluginfactory.cpp)
target_include_directories(vst3sdk_compat SYSTEM PUBLIC ${VST3_COMPAT_ROOT})
target_link_libraries(vst3sdk_compat PUBLIC vst3sdk)
zorv_warnings(vst3sdk_compat)

# The module entry points go straight into the plug-in module (an archive
# member nobody references would be dropped by the linker).
set(VST3_COMPAT_MODULE_ENTRY ${VST3_COMPAT_ROOT}/public.sdk/source/main/linuxmain.cpp)
