#!/usr/bin/env bash
# Checks a release folder, or one Windows build's stage of it, against release_files.txt:
#
#   check_release.sh [--arch win32|win64] [--zip FILE.zip] FOLDER
#
# - the folder holds exactly the files of the list (with --arch, only the lines of that bitness:
#   what one build stages);
# - every .dll and .exe in it imports only system DLLs: no compiler runtime, libpng or zlib DLL;
# - every .dll and .exe carries a version resource with the project's version and maker;
# - with --zip, the zip holds the folder's files under the folder's own name, and nothing else.
#
# Prints each problem on a line of its own and exits with 1 if there is one. Sourced, it only
# defines the functions, for the tests. It needs a MinGW objdump and windres (any target reads
# both bitnesses) and, with --zip, cmake (which reads zips).
set -uo pipefail

CHECK_RELEASE_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
RELEASE_LIST="${RELEASE_LIST:-$CHECK_RELEASE_DIR/release_files.txt}"
OBJDUMP="${OBJDUMP:-x86_64-w64-mingw32-objdump}"
WINDRES="${WINDRES:-x86_64-w64-mingw32-windres}"
# The version every shipped binary states, as its FILEVERSION line writes it: the project's.
project_version() {
  sed -n 's/^project([A-Za-z_]* VERSION \([0-9]*\)\.\([0-9]*\)\.\([0-9]*\).*/\1, \2, \3, 0/p' \
    "$CHECK_RELEASE_DIR/../CMakeLists.txt"
}
RELEASE_VERSION="${RELEASE_VERSION:-$(project_version)}"

# The demo's capture host is part of the release; 1 lets a release without it pass (a build
# that makes none).
ZU_CAPTURE_HOST_PENDING=0

# What the shipped binaries may import: DLLs of Windows itself (msvcrt.dll is the system's C
# library, which MinGW programs use).
SYSTEM_DLLS="advapi32.dll avicap32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll
ole32.dll oleaut32.dll psapi.dll shell32.dll shlwapi.dll user32.dll version.dll winmm.dll ws2_32.dll"

# expected_files ARCH...: the list's files for those bitnesses, one a line, sorted; with no
# bitness, every line for both. Optional lines come out with " optional" after the file.
expected_files() {
  local arches=("$@") common=0 line file rest flag arch
  [ ${#arches[@]} -eq 0 ] && { arches=(win32 win64); common=1; }
  while IFS= read -r line || [ -n "$line" ]; do
    line="${line%%#*}"
    read -r file rest <<<"$line"
    [ -n "${file:-}" ] || continue
    flag=""
    if [ -n "$rest" ]; then
      case "$rest" in
        "optional-while "*) flag="${rest#optional-while }"; [ "${!flag:-0}" = 1 ] && flag=" optional" || flag="" ;;
        *) echo "release_files.txt: cannot read \"$line\"" >&2; return 1 ;;
      esac
    fi
    if [[ "$file" == *"{arch}"* ]]; then
      for arch in "${arches[@]}"; do echo "${file//\{arch\}/$arch}$flag"; done
    elif [ "$common" = 1 ]; then
      echo "$file$flag"
    fi
  done <"$RELEASE_LIST" | sort
}

# check_contents FOLDER ARCH...: the folder holds exactly the listed files.
check_contents() {
  local folder="$1"; shift
  local expected actual problems=0 entry file
  expected="$(expected_files "$@")" || return 1
  actual="$(cd "$folder" && find . -type f | sed 's|^\./||' | sort)"
  while IFS= read -r entry; do
    [ -n "$entry" ] || continue
    file="${entry% optional}"
    if ! grep -qxF "$file" <<<"$actual" && [ "$file" = "$entry" ]; then
      echo "missing: $file"; problems=1
    fi
  done <<<"$expected"
  while IFS= read -r file; do
    [ -n "$file" ] || continue
    if ! grep -qxF "$file" <<<"$expected" && ! grep -qxF "$file optional" <<<"$expected"; then
      echo "not in the list: $file"; problems=1
    fi
  done <<<"$actual"
  return $problems
}

# binaries FOLDER: the .dll and .exe files below it, one a line.
binaries() {
  (cd "$1" && find . -type f \( -iname '*.dll' -o -iname '*.exe' \) | sed 's|^\./||' | sort)
}

# imported_dlls FILE: the DLLs the file imports (directly or delayed), lower case, one a line.
imported_dlls() {
  "$OBJDUMP" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u
}

# check_imports FOLDER: every binary imports only system DLLs.
check_imports() {
  local folder="$1" file dll problems=0 listed
  while IFS= read -r file; do
    [ -n "$file" ] || continue
    listed="$(imported_dlls "$folder/$file")"
    [ -n "$listed" ] || { echo "$file: no import table read"; problems=1; continue; }
    while IFS= read -r dll; do
      [[ " $(echo $SYSTEM_DLLS) " == *" $dll "* ]] || { echo "$file imports $dll, not a system DLL"; problems=1; }
    done <<<"$listed"
  done < <(binaries "$folder")
  return $problems
}

# check_versions FOLDER: every binary has a version resource with the project's version and maker.
check_versions() {
  local folder="$1" file rc problems=0
  while IFS= read -r file; do
    [ -n "$file" ] || continue
    rc="$("$WINDRES" -i "$folder/$file" -O rc 2>/dev/null)"
    if ! grep -q '^1 VERSIONINFO' <<<"$rc"; then
      echo "$file: no version resource"; problems=1; continue
    fi
    grep -qx " FILEVERSION $RELEASE_VERSION" <<<"$rc" \
      || { echo "$file: file version is not $RELEASE_VERSION"; problems=1; }
    grep -q 'VALUE "CompanyName", "Pelmar"' <<<"$rc" \
      || { echo "$file: the version resource names no maker"; problems=1; }
    grep -q 'VALUE "FileDescription", "[^"]' <<<"$rc" \
      || { echo "$file: the version resource has no description"; problems=1; }
  done < <(binaries "$folder")
  return $problems
}

# check_zip ZIP FOLDER: the zip holds FOLDER's files under FOLDER's name, and nothing else.
check_zip() {
  local zip="$1" folder="$2" top in_zip in_folder
  top="$(basename "$folder")"
  in_zip="$(cmake -E tar tf "$zip" 2>/dev/null)" || { echo "$zip: not a readable zip"; return 1; }
  in_zip="$(grep -v "/\$" <<<"$in_zip" | sort)"
  in_folder="$(cd "$folder/.." && find "$top" -type f | sort)"
  if [ "$in_zip" != "$in_folder" ]; then
    diff <(echo "$in_folder") <(echo "$in_zip") | sed -n 's/^< /missing from the zip: /p; s/^> /in the zip only: /p'
    return 1
  fi
}

check_release_main() {
  local arch="" zip="" folder="" status=0
  while [ $# -gt 0 ]; do
    case "$1" in
      --arch) arch="${2:?}"; shift 2 ;;
      --zip) zip="${2:?}"; shift 2 ;;
      -*) echo "usage: check_release.sh [--arch win32|win64] [--zip FILE.zip] FOLDER" >&2; return 2 ;;
      *) folder="$1"; shift ;;
    esac
  done
  [ -d "$folder" ] || { echo "check_release.sh: no folder \"$folder\"" >&2; return 2; }
  check_contents "$folder" $arch || status=1
  check_imports "$folder" || status=1
  check_versions "$folder" || status=1
  if [ -n "$zip" ]; then check_zip "$zip" "$folder" || status=1; fi
  return $status
}

[ "${BASH_SOURCE[0]}" = "$0" ] || return 0
check_release_main "$@"
