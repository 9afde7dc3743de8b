# Run at build time (cmake -P): copies the editor page into the bundle with
# the files the build wrote for it (js/tables.js) and writes its
# manifest.json with this build's facts: the build time
# (SOURCE_DATE_EPOCH when set, for reproducible builds), the source
# revision and the entry page's digest.
#
# Inputs: UI_SOURCE (the page folder), UI_GENERATED (the files the build
# wrote for the page, laid out as in the page), UI_TARGET (the bundle's ui
# folder), TEMPLATE (manifest.json.in), SOURCE_DIR (for the revision), GIT
# (may be empty), PROJECT_VERSION.
file(REMOVE_RECURSE ${UI_TARGET})
file(COPY ${UI_SOURCE}/ DESTINATION ${UI_TARGET})
file(COPY ${UI_GENERATED}/ DESTINATION ${UI_TARGET})
file(SHA256 ${UI_SOURCE}/index.html ZORV_UI_SHA256)
string(TIMESTAMP ZORV_UI_BUILD_TIME "%Y-%m-%dT%H:%M:%SZ" UTC)
set(ZORV_SOURCE_REVISION "")
if(GIT)
  execute_process(COMMAND ${GIT} rev-parse --short=12 HEAD
                  WORKING_DIRECTORY ${SOURCE_DIR}
                  OUTPUT_VARIABLE ZORV_SOURCE_REVISION OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_QUIET)
endif()
configure_file(${TEMPLATE} ${UI_TARGET}/manifest.json @ONLY)
