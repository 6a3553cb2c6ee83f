#!/usr/bin/env bash
# `make dist-windows`: build/windows/Delvora-<version>-windows-x64.zip, one
# folder a Windows user unzips and runs: both programs, the Qt libraries and
# plugins they load (laid out as windeployqt does), the MinGW runtime, our
# icon, cursors, skin and samples, a user's README.txt, LICENSE.txt and the
# notices of the parts by others (licenses\); stripped. The same folder
# becomes build/windows/Delvora-<version>-windows-x64.msi (wixl, then
# finished with msitools), which installs it per machine into
# Program Files\Delvora and puts that folder on the system PATH.
# <version> is the package's (scripts/version --upstream); the programs'
# version resources and the installer carry Windows's four numbers
# (scripts/version --windows).
# Prints the zip's path and then the installer's, one a line.
#
# Sourced with DELVORA_DIST_FUNCTIONS=1, it only defines build_msi, which
# scripts/smoke-windows.sh uses to build the other versions it installs.

# build_msi FOLDER WINDOWS_VERSION MSI: the installer of FOLDER (a folder
# laid out as the zip's), for that version, written to MSI.
build_msi() {
  local folder=$1 version=$2 msi=$3 top=$PWD
  local parent name
  parent=$(dirname "$folder") name=$(basename "$folder")
  local tables
  tables=$(mktemp -d)
  rm -f "$msi"
  (cd "$parent" && find "$name" -type f | LC_ALL=C sort) |
    wixl-heat --prefix "$name/" --var var.SourceDir --directory-ref INSTALLDIR \
      --component-group DelvoraFiles --win64 >"$tables/files.wxs"
  local home support
  home=$(sed -n 's/.*kVendorHomePage = "\(.*\)";/\1/p' src/platform/product.h)
  support=$(sed -n 's/.*kSupportEmail = "\(.*\)";/\1/p' src/platform/product.h)
  IFS=. read -r major minor _ <<<"$version"
  (cd "$parent" && wixl --arch x64 -D Version="$version" \
    -D DisplayVersion="$(printf '%s.%02d' "$major" "$minor")" -D SourceDir="$name" \
    -D HomePage="$home" -D SupportEmail="$support" -D Win64=yes \
    -o "$msi" "$top/share/windows/delvora.wxs" "$tables/files.wxs") || return 1

  # What wixl cannot express. The tables of share/windows/msi/ go in as
  # they are: the dialogs, the PATH entry, the action that records the
  # install location.
  cp share/windows/msi/*.idt "$tables/"
  export_table() { msiinfo export "$msi" "$1" | tr -d '\r'; }
  # A rebuilt package of the installed version replaces it instead of
  # adding a second entry: the upgrade row includes its own version
  # (VersionMaxInclusive, 512), which wixl does not set.
  export_table Upgrade | awk -F'\t' -v OFS='\t' \
    'NR > 3 && $7 == "WIX_UPGRADE_DETECTED" && $5 % 1024 < 512 { $5 += 512 } 1' >"$tables/Upgrade.idt"
  # The install location is known once costed; the PATH entry is written
  # with the files and taken away before them.
  { export_table InstallExecuteSequence
    printf '%s\t\t%s\n' SetInstallLocation 1001 RemoveEnvironmentStrings 3300 \
      WriteEnvironmentStrings 5200; } >"$tables/InstallExecuteSequence.idt"
  # Opened by double-click: welcome (a first install only), progress, end.
  { export_table InstallUISequence
    printf '%s\t%s\t%s\n' WelcomeDlg 'NOT Installed' 1250 ProgressDlg '' 1280 \
      ExitDlg '' -1 UserExitDlg '' -2 FatalErrorDlg '' -3; } >"$tables/InstallUISequence.idt"
  # Executables and libraries carry their version, so that Windows
  # Installer compares versions, not dates, when it replaces them; a
  # versioned file has no hash.
  local versions
  versions=$(find "$folder" -iname '*.exe' -o -iname '*.dll' | xargs scripts/pe-file-version |
    awk -F'\t' '$2 != "" { n = split($1, p, "/"); print tolower(p[n]) "\t" $2 }')
  if [ "$(cut -f1 <<<"$versions" | sort | uniq -d)" != "" ]; then
    echo "two versioned files of one name in $folder" >&2
    return 1
  fi
  export_table File | awk -F'\t' -v OFS='\t' -v list="$versions" '
    BEGIN { n = split(list, rows, "\n"); for (i = 1; i <= n; i++) { split(rows[i], f, "\t"); v[f[1]] = f[2] } }
    NR > 3 { long = $3; sub(/.*\|/, "", long); if (tolower(long) in v) $5 = v[tolower(long)] }
    1' >"$tables/File.idt"
  export_table MsiFileHash | awk -F'\t' -v files="$(awk -F'\t' 'NR > 3 && $5 != "" { print $1 }' "$tables/File.idt")" '
    BEGIN { n = split(files, f, "\n"); for (i = 1; i <= n; i++) versioned[f[i]] = 1 }
    NR <= 3 || !($1 in versioned)' >"$tables/MsiFileHash.idt"
  local table
  for table in "$tables"/*.idt; do
    msibuild "$msi" -i "$table" || { echo "cannot add $(basename "$table") to $msi" >&2; return 1; }
  done
  rm -rf "$tables"
}

[ -n "${DELVORA_DIST_FUNCTIONS:-}" ] && return 0

set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/windows-env.sh
windows_deps
windows_configure
cmake --build --preset windows --target delvora delvora-convert delvora_resources >/dev/null

version=$(scripts/version --upstream)
windows_version=$(scripts/version --windows)
name="Delvora-$version-windows-x64"
stage="build/windows/dist/$name"
zip="$PWD/build/windows/$name.zip"
bin=build/windows/bin
qt=build/windows-deps/qt
rm -rf build/windows/dist "$zip"
mkdir -p "$stage"/{platforms,imageformats,styles}

cp "$bin/delvora.exe" "$bin/delvora-convert.exe" "$stage/"
cp "$qt"/bin/Qt6{Core,Gui,Widgets}.dll "$stage/"
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
# Our icon and cursor files are read through QImageReader.
cp "$qt/plugins/imageformats/qico.dll" "$stage/imageformats/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
cp -L build/windows-deps/runtime/*.dll "$stage/"
cp -r resources/. "$stage/"

# Text for Notepad: Windows line ends.
crlf() { sed 's/\r$//; s/$/\r/'; }
# As the programs show it (cmake/version.cmake): 7.0.0 is 7.00.
IFS=. read -r major minor _ <<<"$version"
display_version=$(printf '%s.%02d' "$major" "$minor")
sed "s/@VERSION@/$display_version/; s/@FOLDER@/$name/" share/windows/README.txt | crlf >"$stage/README.txt"
crlf <LICENSE >"$stage/LICENSE.txt"

# The notices the redistributed parts require, taken at dist time from the
# Debian packages this build used: the copyright file of the very package
# each shipped runtime library comes from, so the notices always match the
# files beside them.
licenses="$stage/licenses"
mkdir -p "$licenses"
copyright_of() { # the Debian copyright file of the package holding FILE
  local package
  package=$(dpkg -S "$(realpath "$1")" | head -n 1 | cut -d: -f1)
  [ -f "/usr/share/doc/$package/copyright" ] || { echo "no copyright file for $1 ($package)" >&2; return 1; }
  echo "/usr/share/doc/$package/copyright"
}
crlf </usr/share/common-licenses/LGPL-3 >"$licenses/LGPL-3.txt"
crlf </usr/share/common-licenses/GPL-3 >"$licenses/GPL-3.txt"
gcc_copyright=$(copyright_of build/windows-deps/runtime/libstdc++-6.dll)
grep -q 'GCC RUNTIME LIBRARY EXCEPTION' "$gcc_copyright" ||
  { echo "$gcc_copyright lacks the GCC Runtime Library Exception" >&2; exit 1; }
crlf <"$gcc_copyright" >"$licenses/GCC-runtime.txt"
crlf <"$(copyright_of build/windows-deps/runtime/libwinpthread-1.dll)" >"$licenses/MinGW-w64-runtime-and-winpthreads.txt"
# Qt is built from Debian's qt6-base source package with Debian's patches
# applied; scripts/build-qt-mingw keeps the source's version and the
# patches' names beside it. Debian's own host tools (qt6-base-dev-tools)
# built it, so they are of the same Qt.
qt_version=$(sed -n 's/^set(PACKAGE_VERSION "\(.*\)")$/\1/p' "$qt/lib/cmake/Qt6/Qt6ConfigVersionImpl.cmake")
qt_source=$(cat "$qt/debian-source-version")
case "$qt_source" in
  "$qt_version"+*) ;;
  *) echo "Qt $qt_version was not built from Debian's qt6-base $qt_source" >&2; exit 1 ;;
esac
[ -s "$qt/debian-patches" ] || { echo "no list of Debian's patches in $qt" >&2; exit 1; }
crlf >"$licenses/Qt.txt" <<EOF_QT
Qt $qt_version (Debian qt6-base $qt_source)

Qt6Core.dll, Qt6Gui.dll, Qt6Widgets.dll and the plugins in platforms\,
imageformats\ and styles\ are Qt $qt_version by The Qt Company Ltd and
others, used under the GNU Lesser General Public License version 3
(LGPL-3.txt, which builds on GPL-3.txt). You may replace these files with
your own build of Qt $qt_version.

They are built from Debian's qt6-base source package, version
$qt_source, with Debian's patches applied (listed at the end; among them
Debian's security fixes), Qt's bundled zlib, pcre2, libpng, HarfBuzz,
FreeType and double-conversion included. Its complete source:
  https://snapshot.debian.org/package/qt6-base/$qt_source/
  https://sources.debian.org/src/qt6-base/$qt_source/
or on Debian: apt-get source qt6-base=$qt_source
How it was configured: scripts/build-qt-mingw in Delvora's source.

The copyright and licence of every part of that source follow (Debian's
copyright file of qt6-base), then the patches applied.

EOF_QT
crlf </usr/share/doc/qt6-base-dev-tools/copyright >>"$licenses/Qt.txt"
{ printf '\nDebian patches applied to Qt %s (debian/patches/series):\n' "$qt_version"
  sed 's/^/  /' "$qt/debian-patches"; } | crlf >>"$licenses/Qt.txt"
find "$stage" -name '*.exe' -o -name '*.dll' | xargs x86_64-w64-mingw32-strip --strip-unneeded

# Every library a file here loads must be here too, or be part of Windows.
system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comdlg32|imm32|winmm|ws2_32|uxtheme|dwmapi|version|netapi32|userenv|shlwapi|setupapi|wtsapi32|mpr|authz|d3d9|d3d11|d3d12|dxgi|dxguid|msvcrt|ntdll|shcore|winspool\.drv|comctl32|cfgmgr32|bcrypt|crypt32|secur32|rpcrt4|api-ms-win-.*)\.dll$'
missing=0
while IFS= read -r file; do
  for dll in $(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\tDLL Name: //p'); do
    lower=${dll,,}
    if [[ $lower =~ $system_dlls ]]; then continue; fi
    if [ -z "$(find "$stage" -maxdepth 1 -iname "$dll")" ]; then
      echo "$file needs $dll, which is not in the zip" >&2
      missing=1
    fi
  done
done < <(find "$stage" -name '*.exe' -o -name '*.dll')
[ "$missing" -eq 0 ]

(cd build/windows/dist && zip -q -r -X "$zip" "$name")
echo "wrote $zip ($(du -k "$zip" | cut -f1) KB; $(du -sk "$stage" | cut -f1) KB unpacked)" >&2

# The installer, of the same folder.
msi="$PWD/build/windows/$name.msi"
build_msi "$stage" "$windows_version" "$msi"
echo "wrote $msi ($(du -k "$msi" | cut -f1) KB)" >&2
echo "$zip"
echo "$msi"
