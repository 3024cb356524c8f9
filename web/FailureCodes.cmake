# cmake -DHEADER=MavrelWAVChorus.h -DOUTPUT=codes.js -P FailureCodes.cmake
# Writes the library's result codes, as the public header declares them, as a
# script that the page and its worker read: self.wavChorusOk is the code of a
# finished call, self.wavChorusCodes maps each failure code to its name and
# meaning (the header's comment).
file(STRINGS ${HEADER} _ok REGEX "^#define WAVCHORUS_OK [0-9]+$")
if(NOT _ok MATCHES "^#define WAVCHORUS_OK ([0-9]+)$")
  message(FATAL_ERROR "FailureCodes: no WAVCHORUS_OK in ${HEADER}")
endif()
set(_ok_code ${CMAKE_MATCH_1})
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
  "// Written by the build from include/MavrelWAVChorus.h: the result codes of\n"
  "// WAVChorus(): the code of a finished call, and each failure code with its\n"
  "// name and meaning.\n"
  "self.wavChorusOk = ${_ok_code};\n"
  "self.wavChorusCodes = Object.freeze({\n${_entries}});\n")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
