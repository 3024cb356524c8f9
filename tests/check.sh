# The named checks of the shell tests, sourced by each:
#   check NAME CONDITION...   runs CONDITION; a failure prints "FAIL: NAME"
#   checks_done               prints the counts; its status is the result
failures=0
pass=0
check() {
  local name=$1
  shift
  if "$@"; then
    pass=$((pass + 1))
  else
    echo "FAIL: $name"
    failures=$((failures + 1))
  fi
}
checks_done() {
  echo "$pass passed, $failures failed"
  [ "$failures" -eq 0 ]
}
