# cmake -DTABLES=<maths_margins output> -DDOC=docs/maths.md -P CheckFiguresInDocs.cmake
# The figures in the documentation are what the measurement gives: each of its
# tables stands in the page word for word.
file(READ "${TABLES}" tables)
file(READ "${DOC}" doc)
if(tables STREQUAL "")
  message(FATAL_ERROR "${TABLES} is empty")
endif()
# The tables are separated by empty lines (and hold no semicolons).
string(REPLACE "\n\n" ";" blocks "${tables}")
set(count 0)
foreach(block IN LISTS blocks)
  string(STRIP "${block}" block)
  string(FIND "${doc}" "${block}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${DOC} does not hold this table as maths_margins measured it "
      "(all of them are in ${TABLES}):\n${block}")
  endif()
  math(EXPR count "${count} + 1")
endforeach()
message(STATUS "${DOC} holds the ${count} measured tables")
