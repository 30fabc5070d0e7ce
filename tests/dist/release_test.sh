#!/usr/bin/env bash
# What one Windows build stages for the release (<build>/release/), checked with the release's own
# checker (dist/check_release.sh): exactly the list's files of this bitness, binaries that import
# only system DLLs and carry the version resource; and the checker itself reporting each kind of
# fault it is there to find. Run natively by ctest in the Windows builds:
#
#   release_test.sh REPORT.xml STAGE ARCH RUNTIME_DLL
#
# RUNTIME_DLL is a DLL of the compiler's runtime (libstdc++-6.dll), the kind of file the checks
# must refuse.
set -uo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
REPORT="${1:?usage: release_test.sh REPORT.xml STAGE ARCH RUNTIME_DLL}"
STAGE="${2:?}" ARCH="${3:?}" RUNTIME_DLL="${4:?}"
SCRATCH="$(mktemp -d)"
trap 'rm -rf "$SCRATCH"' EXIT

source "$ROOT/tests/script/bash_cases.sh"
source "$ROOT/dist/check_release.sh"

test_the_stage_holds_exactly_the_files_of_its_bitness() {
  local problems
  problems="$(check_contents "$STAGE" "$ARCH")" || fail "$problems"
  # The list names files of both kinds: each bitness's part and the simulated camera apart.
  grep -qx "$ARCH/ZuVCap.dll" <<<"$(expected_files "$ARCH")" || fail "the list has no $ARCH/ZuVCap.dll"
  grep -qx "simcam/$ARCH/avicap32.dll" <<<"$(expected_files "$ARCH")" || fail "no simulated camera"
}

test_every_staged_binary_imports_only_system_dlls() {
  local problems
  problems="$(check_imports "$STAGE")" || fail "$problems"
  # Both controls were looked at, and what ZuVCap imports is what a capture control needs.
  grep -qx "avicap32.dll" <<<"$(imported_dlls "$STAGE/$ARCH/ZuVCap.dll")" || fail "ZuVCap.dll imports no avicap32.dll"
}

test_every_staged_binary_carries_the_version_resource() {
  local problems count
  problems="$(check_versions "$STAGE")" || fail "$problems"
  count="$(binaries "$STAGE" | wc -l)"
  [ "$count" -ge 6 ] || fail "only $count binaries staged"
}

# Each check on a copy of the stage with one fault of its kind put in.
test_the_checks_report_each_fault_they_are_there_for() {
  local copy="$SCRATCH/copy" out
  rm -rf "$copy"; cp -r "$STAGE" "$copy"
  rm "$copy/$ARCH/ZuVPlay.tlb"
  echo stray >"$copy/$ARCH/notes.txt"
  cp "$RUNTIME_DLL" "$copy/$ARCH/"
  local runtime; runtime="$(basename "$RUNTIME_DLL")"
  out="$(check_contents "$copy" "$ARCH")" && fail "contents passed"
  grep -qx "missing: $ARCH/ZuVPlay.tlb" <<<"$out" || fail "no word of the missing file: $out"
  grep -qx "not in the list: $ARCH/notes.txt" <<<"$out" || fail "no word of the stray file: $out"
  out="$(check_imports "$copy")" && fail "imports passed"
  grep -q "^$ARCH/$runtime imports lib" <<<"$out" || fail "the runtime DLL's imports not refused: $out"
  [ "$(grep -c . <<<"$out")" = "$(grep -c "^$ARCH/$runtime " <<<"$out")" ] || fail "others refused: $out"
  out="$(check_versions "$copy")" && fail "versions passed"
  expect_eq "$out" "$ARCH/$runtime: no version resource" "versions"

  # The one file the list lets go missing, only while its variable says so.
  rm -rf "$copy"; cp -r "$STAGE" "$copy"; rm -f "$copy/$ARCH/capture_host.exe"
  out="$(ZU_CAPTURE_HOST_PENDING=1; check_contents "$copy" "$ARCH")" || fail "pending capture host refused: $out"
  out="$(ZU_CAPTURE_HOST_PENDING=0; check_contents "$copy" "$ARCH")" && fail "missing capture host passed"
  expect_eq "$out" "missing: $ARCH/capture_host.exe" "capture host no longer pending"

  # A zip that lacks a file of the folder, or holds one more.
  rm -rf "$copy"; mkdir -p "$copy/top/sub"; echo a >"$copy/top/a"; echo b >"$copy/top/sub/b"
  (cd "$copy" && cmake -E tar cf whole.zip --format=zip top && cmake -E tar cf part.zip --format=zip top/a)
  out="$(check_zip "$copy/whole.zip" "$copy/top")" || fail "whole zip refused: $out"
  out="$(check_zip "$copy/part.zip" "$copy/top")" && fail "partial zip passed"
  expect_eq "$out" "missing from the zip: top/sub/b" "partial zip"
}

run_cases "$REPORT" ReleaseStage
