# A plug-in module a host loads: NAME.so in DIRECTORY, exporting only what
# the version script MAP names, with every static library's symbols kept
# inside and nothing left unresolved.
#
#   zorv_plugin_module(target NAME Zorv DIRECTORY dir MAP file SOURCES ...)
function(zorv_plugin_module target)
  cmake_parse_arguments(ARG "" "NAME;DIRECTORY;MAP" "SOURCES" ${ARGN})
  add_library(${target} MODULE ${ARG_SOURCES})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${ARG_NAME}
    PREFIX ""
    SUFFIX ".so"
    LIBRARY_OUTPUT_DIRECTORY ${ARG_DIRECTORY}
    LINK_DEPENDS ${ARG_MAP})
  target_link_options(${target} PRIVATE
    -Wl,--version-script=${ARG_MAP}
    -Wl,--exclude-libs,ALL
    -Wl,--no-undefined)
  zorv_warnings(${target})
endfunction()
