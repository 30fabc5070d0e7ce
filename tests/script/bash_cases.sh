# Cases in bash for ctest, sourced by a test script: each case is a function test_*, run in a
# subshell of its own; a case fails when it exits non-zero (fail, or any command under the
# script's own options), and is skipped when it exits 77 (skip). run_cases writes a report in
# GoogleTest's shape, so ./zu test counts these cases with the others.
#
#   source tests/script/bash_cases.sh
#   test_something() { expect_eq "$(work)" "42" "the answer"; }
#   run_cases REPORT.xml SuiteName [PRELUDE]   # PRELUDE: a command each case runs first

fail() { printf 'failed: %s\n' "$*"; exit 1; }
skip() { printf 'skipped: %s\n' "$*"; exit 77; }
expect_eq() {  # ACTUAL EXPECTED WHAT
  [ "$1" = "$2" ] || fail "$3: got \"$1\", expected \"$2\""
}

xml_attribute() {
  local text="$1"
  text="${text//&/&amp;}"; text="${text//</&lt;}"; text="${text//>/&gt;}"; text="${text//\"/&quot;}"
  printf '%s' "$text"
}

run_cases() {
  local report="$1" suite="$2" prelude="${3:-:}"
  local cases name out rc passed=0 failed=0 skipped=0 body=""
  cases="$(declare -F | sed -n 's/^declare -f \(test_[a-z0-9_]*\)$/\1/p')"
  for name in $cases; do
    out="$({ eval "$prelude"; "$name"; } 2>&1)"
    rc=$?
    local cdata="${out//']]>'/']]]]><![CDATA[>'}"
    body+="    <testcase name=\"$name\" status=\"run\""
    if [ "$rc" = 0 ]; then
      passed=$((passed + 1))
      printf '[       OK ] %s\n' "$name"
      body+=" result=\"completed\" classname=\"$suite\" />"$'\n'
    elif [ "$rc" = 77 ]; then
      skipped=$((skipped + 1))
      printf '[  SKIPPED ] %s\n%s\n' "$name" "$out"
      body+=" result=\"skipped\" classname=\"$suite\">"$'\n'
      body+="      <skipped message=\"$(xml_attribute "$out")\"><![CDATA[$cdata]]></skipped>"$'\n'
      body+="    </testcase>"$'\n'
    else
      failed=$((failed + 1))
      printf '[  FAILED  ] %s (exit %s)\n%s\n' "$name" "$rc" "$out"
      body+=" result=\"completed\" classname=\"$suite\">"$'\n'
      body+="      <failure message=\"exit $rc\" type=\"\"><![CDATA[$cdata]]></failure>"$'\n'
      body+="    </testcase>"$'\n'
    fi
  done
  local total=$((passed + failed + skipped))
  mkdir -p "$(dirname "$report")"
  {
    echo '<?xml version="1.0" encoding="UTF-8"?>'
    echo "<testsuites tests=\"$total\" failures=\"$failed\" disabled=\"0\" errors=\"0\" name=\"AllTests\">"
    echo "  <testsuite name=\"$suite\" tests=\"$total\" failures=\"$failed\" skipped=\"$skipped\" errors=\"0\">"
    printf '%s' "$body"
    echo '  </testsuite>'
    echo '</testsuites>'
  } >"$report"
  printf '%s: %d cases, %d failed, %d skipped\n' "$suite" "$total" "$failed" "$skipped"
  [ "$failed" = 0 ]
}
