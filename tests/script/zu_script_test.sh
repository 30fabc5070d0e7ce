#!/usr/bin/env bash
# Tests of the ./zu entry script's own logic, run natively by ctest: zu_script_test.sh REPORT.xml
#
# Each case is a function test_*, run in a subshell that has sourced ./zu (functions only), under
# zu's own set -euo pipefail: any command that fails unexpectedly fails the case. The report has
# GoogleTest's shape, so ./zu test counts these cases with the others.
set -uo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ZU="$(cd "$HERE/../.." && pwd)/zu"
REPORT="${1:?usage: zu_script_test.sh REPORT.xml}"
SCRATCH="$(mktemp -d)"
trap 'rm -rf "$SCRATCH"' EXIT

source "$HERE/bash_cases.sh"

# A fresh folder for one case.
case_dir() {
  local dir="$SCRATCH/$1"
  rm -rf "$dir"; mkdir -p "$dir"
  echo "$dir"
}

# A JUnit report in the shape GoogleTest 1.12 writes: one suite with the given cases, each
# "name:kind" with kind passed, failed, skipped or disabled.
write_report() {  # FILE CASE...
  local file="$1" entry name kind; shift
  {
    echo '<?xml version="1.0" encoding="UTF-8"?>'
    echo '<testsuites tests="'$#'" failures="0" disabled="0" errors="0" time="0.1" name="AllTests">'
    echo '  <testsuite name="Suite" tests="'$#'" failures="0" disabled="0" skipped="0" errors="0">'
    for entry in "$@"; do
      name="${entry%%:*}" kind="${entry#*:}"
      case "$kind" in
        passed) echo '    <testcase name="'"$name"'" file="a.cpp" line="1" status="run" result="completed" time="0." classname="Suite" />' ;;
        failed)
          echo '    <testcase name="'"$name"'" file="a.cpp" line="1" status="run" result="completed" time="0." classname="Suite">'
          # What a failure message may hold: markup of its own, and a CDATA end split in two.
          echo '      <failure message="a.cpp:2&#x0A;Expected equality" type=""><![CDATA[a.cpp:2'
          echo 'Value of: <testcase name="x" /> <skipped message="y"/>'
          echo ']]>]]&gt;<![CDATA[ </testsuites>]]></failure>'
          echo '    </testcase>' ;;
        skipped)
          echo '    <testcase name="'"$name"'" file="a.cpp" line="1" status="run" result="skipped" time="0." classname="Suite">'
          echo '      <skipped message="a.cpp:3&#x0A;"><![CDATA[a.cpp:3'
          echo 'no camera]]></skipped>'
          echo '    </testcase>' ;;
        disabled) echo '    <testcase name="'"$name"'" file="a.cpp" line="1" status="notrun" result="suppressed" time="0" classname="Suite" />' ;;
      esac
    done
    echo '  </testsuite>'
    echo '</testsuites>'
  } >"$file"
}

# ---------------------------------------------------------------- counting the reports

test_sum_report_counts_each_kind_of_case() {
  local dir; dir="$(case_dir sum)"
  write_report "$dir/mixed.xml" a:passed b:failed c:passed d:skipped e:disabled f:failed g:passed
  expect_eq "$(sum_report "$dir/mixed.xml")" "3 2 2" "mixed report"
  write_report "$dir/empty_suite.xml"
  expect_eq "$(sum_report "$dir/empty_suite.xml")" "0 0 0" "report without cases"
  # A failure outside any test (in a global set-up) comes as a suite of its own.
  {
    echo '<?xml version="1.0" encoding="UTF-8"?>'
    echo '<testsuites tests="0" failures="0" name="AllTests">'
    echo '  <testsuite name="NonTestSuiteFailure" tests="1" failures="1">'
    echo '    <testcase name="" status="run" result="completed" classname="">'
    echo '      <failure message="environment" type=""><![CDATA[environment]]></failure>'
    echo '    </testcase>'
    echo '  </testsuite>'
    echo '</testsuites>'
  } >"$dir/ad_hoc.xml"
  expect_eq "$(sum_report "$dir/ad_hoc.xml")" "0 1 0" "failure outside the tests"
}

test_sum_report_refuses_an_unfinished_report() {
  local dir; dir="$(case_dir unfinished)"
  write_report "$dir/whole.xml" a:passed b:failed c:passed
  head -n 5 "$dir/whole.xml" >"$dir/cut.xml"
  expect_eq "$(sum_report "$dir/cut.xml")" unreadable "report cut short"
  : >"$dir/nothing.xml"
  expect_eq "$(sum_report "$dir/nothing.xml")" unreadable "empty file"
  # Cut inside a failure message: the rest of the file is message, not elements.
  grep -v '</testsuites>]]></failure>' "$dir/whole.xml" >"$dir/open_cdata.xml"
  expect_eq "$(sum_report "$dir/open_cdata.xml")" unreadable "message never closed"
}

# A stand-in for ctest in BUILD_DIR/bin: "ctest -N" lists the names in BUILD_DIR/tests.list as
# ctest does. Builtins only, so that it runs on a PATH that holds nothing else.
fake_ctest() {  # BIN_DIR
  mkdir -p "$1"
  cat >"$1/ctest" <<'SH'
#!/bin/bash
[ "$1" = -N ] || exit 2
printf 'Test project %s\n' "$PWD"
n=0
while read -r name; do n=$((n + 1)); printf '  Test #%d: %s\n' "$n" "$name"; done <tests.list
printf '\nTotal Tests: %d\n' "$n"
SH
  chmod +x "$1/ctest"
}

# The reports are summed with the shell, awk and sed, which every Debian root has: no interpreter
# that set-up would have to install.
test_count_reports_calls_nothing_beyond_a_minimal_root() {
  local dir; dir="$(case_dir minimal_root)"
  mkdir -p "$dir/one/reports" "$dir/two/reports"
  fake_ctest "$dir/bin"
  ln -s "$(command -v awk)" "$dir/bin/awk"
  ln -s "$(command -v sed)" "$dir/bin/sed"
  printf 'a\n' >"$dir/one/tests.list"
  printf 'b\nc\nd\n' >"$dir/two/tests.list"
  write_report "$dir/one/reports/a.xml" a:passed b:passed c:skipped
  write_report "$dir/two/reports/b.xml" a:passed b:failed
  write_report "$dir/two/reports/c.xml" a:passed
  head -n 4 "$dir/two/reports/c.xml" >"$dir/two/reports/d.xml"
  local sums
  sums="$(PATH="$dir/bin" count_reports "$dir/one" "$dir/two" 2>"$dir/stderr")" \
    || fail "count_reports failed: $(cat "$dir/stderr")"
  # The cut report counts as one failure, and says so.
  expect_eq "$sums" "4 2 1" "sums over both builds"
  grep -q 'test d left an unfinished report' "$dir/stderr" || fail "no word about d: $(cat "$dir/stderr")"
}

# Every test that ctest runs must leave its report where the summary reads it; one that wrote it
# elsewhere (or crashed first) is a failure, named, and not a silent gap in the counts.
test_count_reports_fails_a_test_that_left_no_report() {
  local dir; dir="$(case_dir no_report)"
  mkdir -p "$dir/win32/reports" "$dir/win32/tests/shell/work"
  fake_ctest "$dir/bin"
  printf 'shell_tests\nshell_tests_ja\ncodec_tests\n' >"$dir/win32/tests.list"
  write_report "$dir/win32/reports/shell_tests.xml" a:passed b:passed
  write_report "$dir/win32/reports/codec_tests.xml" a:passed b:skipped
  # Where a Windows program puts a path without a drive: under its own folder.
  write_report "$dir/win32/tests/shell/work/shell_tests_ja.xml" a:passed b:passed
  local sums
  sums="$(PATH="$dir/bin:$PATH" count_reports "$dir/win32" 2>"$dir/stderr")"
  expect_eq "$sums" "3 1 1" "sums with one report missing"
  grep -q 'win32: test shell_tests_ja left no report' "$dir/stderr" \
    || fail "the missing report is not named: $(cat "$dir/stderr")"
}

# ---------------------------------------------------------------- configure-time checks

# cmake/zu_debian_paths.cmake alone, for one MinGW target, with the given -D settings on top.
check_paths() {  # TRIPLET -DVAR=value...
  local triplet="$1"; shift
  cmake -DZU_TRIPLET="$triplet" -DZU_DEPS="$DEPS" -DZU_TESTS=ON "$@" \
    -P "$ROOT/cmake/zu_debian_paths.cmake" 2>&1
}

test_configure_names_the_package_of_a_missing_debian_path() {
  local triplet
  for triplet in i686-w64-mingw32 x86_64-w64-mingw32; do
    [ -f "$DEPS/$triplet/lib/libpng16.a" ] || skip "no libpng for $triplet yet (./zu setup builds it)"
    check_paths "$triplet" >/dev/null || fail "$triplet: a complete set-up does not pass: $(check_paths "$triplet")"
  done
  local rows=(
    "i686-w64-mingw32 ZU_GTEST_SOURCE_DIR googletest"
    "i686-w64-mingw32 ZU_WINE_IDL_DIR libwine-dev"
    "i686-w64-mingw32 ZU_STDOLE_DIR wine32:i386"
    "x86_64-w64-mingw32 ZU_STDOLE_DIR wine64"
    "x86_64-w64-mingw32 ZU_DEPS libpng1.6"
  )
  local row variable package out
  for row in "${rows[@]}"; do
    read -r triplet variable package <<<"$row"
    if out="$(check_paths "$triplet" "-D$variable=$SCRATCH/nowhere")"; then
      fail "$triplet without $variable passes"
    fi
    grep -q 'CMake Error' <<<"$out" || fail "$triplet without $variable: no error: $out"
    grep -q -- "$package" <<<"$out" || fail "$triplet without $variable does not name $package: $out"
  done
}

# ---------------------------------------------------------------- exit paths

# ./zu demo with the build and the test bed stubbed out and a wine that logs its calls; regsvr32,
# the capture host or the play host fails as FAILING says. Prints the calls.
demo_with_failing() {  # CASE_DIR FAILING
  local dir="$1"
  BUILD="$dir/build"
  ZU_DISPLAY=0
  FAILING="$2"
  CALLS="$dir/calls"
  : >"$CALLS"
  cmd_build() { :; }
  start_display() { :; }
  stop_display() { :; }
  start_wine() { :; }
  stop_wine() { echo "wineserver -k" >>"$CALLS"; }
  winepath() { printf 'Z:%s\n' "${2//\//\\}"; }
  wine() {
    echo "wine $*" >>"$CALLS"
    case "$FAILING:$*" in
      register:*regsvr32.exe\ /s\ Z:*) return 5 ;;
      *:*demo_host.exe*)
        echo "host: listening on port 4242"
        [ "$FAILING" = host ] && { echo "host: FAILED: no frame arrived"; return 3; }
        return 0 ;;
      capture:*capture_host.exe*) echo "capture: FAILED: no frame was captured"; return 3 ;;
    esac
    return 0
  }
  local rc=0
  (cmd_demo --seconds 1) >"$dir/out" 2>&1 || rc=$?
  [ "$rc" != 0 ] || fail "the demo succeeded with $FAILING failing: $(cat "$dir/out")"
}

test_demo_unregisters_the_controls_on_every_failure() {
  local failing dir dll
  for failing in register capture host; do
    dir="$(case_dir "demo_$failing")"
    demo_with_failing "$dir" "$failing"
    # Registered first; each DLL registered is unregistered once, before the prefix's server stops.
    grep -n 'regsvr32.exe /s' "$CALLS" | grep -v ' /u ' | grep -q '^1:' \
      || fail "$failing: not registered first: $(cat "$CALLS")"
    for dll in ZuVPlay ZuVCap; do
      if grep -q "regsvr32.exe /s Z:.*$dll.dll" "$CALLS"; then
        expect_eq "$(grep -c "regsvr32.exe /s /u Z:.*$dll.dll" "$CALLS")" 1 "$failing: $dll unregistrations"
      fi
    done
    tail -n 2 "$CALLS" | head -n 1 | grep -q 'regsvr32.exe /s /u .*ZuVPlay.dll' \
      || fail "$failing: the play control not unregistered last: $(cat "$CALLS")"
    expect_eq "$(tail -n 1 "$CALLS")" "wineserver -k" "$failing: last call"
  done
  # Each failure is named.
  grep -q "regsvr32 could not register" "$SCRATCH/demo_register/out" || fail "register: $(cat "$SCRATCH/demo_register/out")"
  grep -q "frames are not captured" "$SCRATCH/demo_capture/out" || fail "capture: $(cat "$SCRATCH/demo_capture/out")"
  grep -q "frames do not arrive" "$SCRATCH/demo_host/out" || fail "host: $(cat "$SCRATCH/demo_host/out")"
}

# ---------------------------------------------------------------- the two hosts' reports

# A run folder as run_hosts leaves it: each host's status and a stats line.
host_run() {  # DIR CAPTURE_RC PLAY_RC REFUSED
  mkdir -p "$1"
  [ "$2" = none ] || echo "$2" >"$1/capture.rc"
  echo "$3" >"$1/play.rc"
  printf 'capture: stats captured=10 sent=10\r\n' >"$1/capture.log"
  printf 'host: stats received=1 refused=7 shown=0\r\nhost: stats received=10 refused=%s shown=9\r\n' "$4" >"$1/play.log"
}

test_hosts_verdict_names_each_failure() {
  local dir; dir="$(case_dir verdict)"
  local rows=(
    "0 0 0|"
    "none 1 0|the play host did not start"
    "3 0 0|frames are not captured"
    "4 0 0|none goes out"
    "5 0 0|the preview does not show in the capture control"
    "143 0 0|the capture host did not finish in time"
    "1 0 0|the capture host failed, status 1"
    "0 3 0|frames do not arrive"
    "0 4 0|refuses them"
    "0 5 0|the picture does not show in the play control"
    "0 143 0|the play host did not finish in time"
    "0 0 2|2 frames were refused"
  )
  local row crc prc refused expected got i=0
  for row in "${rows[@]}"; do
    read -r crc prc refused <<<"${row%%|*}"
    expected="${row#*|}"
    i=$((i + 1))
    host_run "$dir/$i" "$crc" "$prc" "$refused"
    got="$(hosts_verdict "$dir/$i")"
    if [ -z "$expected" ]; then
      expect_eq "$got" "" "verdict of $row"
    else
      grep -qF -- "$expected" <<<"$got" || fail "verdict of $row: got \"$got\""
    fi
  done
}

test_stat_of_reads_the_last_stats_line() {
  local dir; dir="$(case_dir stats)"
  host_run "$dir" 0 0 3
  expect_eq "$(stat_of "$dir/play.log" host refused)" 3 "the later line, without its carriage return"
  expect_eq "$(stat_of "$dir/play.log" host shown)" 9 "the last key"
  expect_eq "$(stat_of "$dir/capture.log" capture sent)" 10 "another host's line"
  expect_eq "$(stat_of "$dir/play.log" host latency)" - "a key that is not there"
  expect_eq "$(stat_of "$dir/none.log" host shown)" - "no log"
}

test_soak_check_holds_each_count_to_its_bound() {
  local dir; dir="$(case_dir soak)"
  SOAK_BOUNDS=(gdi=2 private=100)
  printf 'capture: resources before gdi=10 user=1 kernel=5 private=1000\r\ncapture: resources after gdi=12 user=1 kernel=9 private=1100\r\n' >"$dir/within.log"
  soak_check "$dir/within.log" capture >"$dir/out" || fail "growth at the bounds failed: $(cat "$dir/out")"
  grep -q "gdi 10 -> 12 (2, bound 2)" "$dir/out" || fail "growth not reported: $(cat "$dir/out")"
  printf 'capture: resources before gdi=10 private=1000\r\ncapture: resources after gdi=13 private=1000\r\n' >"$dir/over.log"
  if soak_check "$dir/over.log" capture >/dev/null; then fail "GDI growth over its bound passed"; fi
  printf 'capture: resources before gdi=10 private=1000\r\ncapture: resources after gdi=10 private=1101\r\n' >"$dir/memory.log"
  if soak_check "$dir/memory.log" capture >/dev/null; then fail "private growth over its bound passed"; fi
  printf 'capture: resources before gdi=10 private=1000\r\n' >"$dir/half.log"
  if soak_check "$dir/half.log" capture >/dev/null; then fail "a missing measurement passed"; fi
  printf 'capture: resources before gdi=10\r\ncapture: resources after gdi=10\r\n' >"$dir/short.log"
  if soak_check "$dir/short.log" capture >/dev/null; then fail "a missing count passed"; fi
}

# A checkout with ./zu and a build folder holding a file, both made by root.
checkout_with_build() {  # DIR
  mkdir -p "$1/build/native/sub"
  cp "$ZU" "$1/zu"
  touch "$1/build/native/sub/file"
}

owners_under() {  # DIR: the distinct owners (uid:gid) of everything under DIR
  find "$1" -printf '%U:%G\n' | sort -u | tr '\n' ' ' | sed 's/ $//'
}

test_a_root_run_gives_the_build_back_to_the_checkouts_owner() {
  [ "$(id -u)" = 0 ] || skip "needs root"
  local dir; dir="$(case_dir owner)"
  {
    checkout_with_build "$dir/theirs"
    chown 4321:4322 "$dir/theirs"
    local rc=0
    (cd "$dir/theirs" && bash ./zu no-such-command) >/dev/null 2>&1 || rc=$?
    expect_eq "$rc" 2 "exit code of an unknown command"
    expect_eq "$(owners_under "$dir/theirs/build")" "4321:4322" "a user's checkout"
  }
  {
    # Owned by root: nothing changes, not even what another user had left there.
    checkout_with_build "$dir/roots"
    chown 555:555 "$dir/roots/build/native/sub/file"
    (cd "$dir/roots" && bash ./zu no-such-command) >/dev/null 2>&1 || true
    expect_eq "$(owners_under "$dir/roots/build/native")" "0:0 555:555" "root's checkout"
  }
  {
    # A build folder elsewhere is not the checkout's to give away.
    checkout_with_build "$dir/elsewhere"
    chown 4321:4322 "$dir/elsewhere"
    mkdir -p "$dir/other_build/native"
    (cd "$dir/elsewhere" && ZU_BUILD="$dir/other_build" bash ./zu no-such-command) >/dev/null 2>&1 || true
    expect_eq "$(owners_under "$dir/other_build")" "0:0" "ZU_BUILD outside the checkout"
  }
}

# ---------------------------------------------------------------- the release

# ./zu dist joins the two builds' stages with the files of the sources into the release folder
# and its zip: with stages that hold their bitness's files of the list (placeholders), the result
# holds exactly the list's files and the zip holds the folder.
test_assemble_release_joins_both_stages_and_the_sources() {
  local dir; dir="$(case_dir release)"
  source "$ROOT/dist/check_release.sh"
  BUILD="$dir/build"
  local arch file
  for arch in win32 win64; do
    while read -r file _; do
      mkdir -p "$(dirname "$BUILD/$arch/release/$file")"
      echo "$file" >"$BUILD/$arch/release/$file"
    done < <(expected_files "$arch")
  done
  local out="$dir/dist" name; name="$(release_name)"
  expect_eq "$name" "zuvideo-$(sed -n 's/^project(zuvideo VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")" "release name"
  assemble_release "$out" || fail "assemble_release failed"
  local problems
  problems="$(ZU_CAPTURE_HOST_PENDING=0; check_contents "$out/$name")" || fail "$problems"
  problems="$(check_zip "$out/$name.zip" "$out/$name")" || fail "$problems"
  cmp -s "$ROOT/docs/host-guide.md" "$out/$name/host-guide.md" || fail "the guide is not the sources' one"
  # A stage that is missing stops the release, saying which.
  rm -rf "$BUILD/win64/release"
  local said; said="$( (assemble_release "$out") 2>&1)" && fail "a release without its win64 part"
  grep -q "the win64 build staged nothing" <<<"$said" || fail "no word of the missing stage: $said"
}

# ---------------------------------------------------------------- the runner

run_cases "$REPORT" ZuScript 'cd "$SCRATCH" || exit 1; source "$ZU"'
