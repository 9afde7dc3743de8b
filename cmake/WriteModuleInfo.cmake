# Run at build time (cmake -P): writes a bundle's moduleinfo.json with
# `vst3-inspect --moduleinfo`, from what the freshly built module's factory
# reports. The text goes to a temporary file that is renamed into place only
# when the run succeeded; a failed run leaves neither that file nor an older
# document, which would describe another build of the module.
#
# Inputs: INSPECT (the vst3-inspect program), BUNDLE (the .vst3 folder),
# OUTPUT (the file to write).
foreach(input INSPECT BUNDLE OUTPUT)
  if(NOT ${input})
    message(FATAL_ERROR "WriteModuleInfo.cmake: ${input} is not set")
  endif()
endforeach()

get_filename_component(output_dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${output_dir})
set(temporary ${OUTPUT}.part)
execute_process(COMMAND ${INSPECT} --moduleinfo ${BUNDLE}
                OUTPUT_FILE ${temporary}
                ERROR_VARIABLE errors
                RESULT_VARIABLE result)
if(NOT result STREQUAL "0")
  file(REMOVE ${temporary} ${OUTPUT})
  string(STRIP "${errors}" errors)
  message(FATAL_ERROR "cannot write ${OUTPUT} (${result}): ${errors}")
endif()
file(RENAME ${temporary} ${OUTPUT})
