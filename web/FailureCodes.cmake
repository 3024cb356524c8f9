# cmake -DHEADER=MavrelWAVChorus.h -DOUTPUT=codes.js -P FailureCodes.cmake
# Writes the library's failure codes, as the public header declares them with
# their comments, as a script that the page reads: self.wavChorusCodes maps each
# code to its name and meaning.
file(STRINGS ${HEADER} _lines REGEX "^#define WAVCHORUS_ERR_")
set(_entries "")
foreach(line IN LISTS _lines)
  if(NOT line MATCHES "^#define (WAVCHORUS_ERR_[A-Z_]+) \\((-[0-9]+)\\) +/\\* (.+) \\*/$")
    message(FATAL_ERROR "FailureCodes: cannot read the line\n  ${line}")
  endif()
  string(REPLACE "\\" "\\\\" _meaning "${CMAKE_MATCH_3}")
  string(REPLACE "\"" "\\\"" _meaning "${_meaning}")
  string(APPEND _entries "  \"${CMAKE_MATCH_2}\": [\"${CMAKE_MATCH_1}\", \"${_meaning}\"],\n")
endforeach()
if(_entries STREQUAL "")
  message(FATAL_ERROR "FailureCodes: no WAVCHORUS_ERR_ code in ${HEADER}")
endif()
file(WRITE ${OUTPUT}.new
  "// Written by the build from include/MavrelWAVChorus.h: the failure codes of\n"
  "// WAVChorus(), each with its name and meaning.\n"
  "self.wavChorusCodes = Object.freeze({\n${_entries}});\n")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
