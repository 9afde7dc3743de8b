# Writes INPUT into OUTPUT as a C++ header holding one string constant,
# TAVIK_HOST_SCRIPT (a raw string literal).
file(READ ${INPUT} text)
string(FIND "${text}" ")zorv\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the raw string delimiter")
endif()
file(WRITE ${OUTPUT} "// Generated from ${INPUT}; do not edit.\n#pragma once\n"
     "static const char TAVIK_HOST_SCRIPT[] = R\"zorv(${text})zorv\";\n")
