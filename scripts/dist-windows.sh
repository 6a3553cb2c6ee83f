#!/usr/bin/env bash
# `make dist-windows`: build/windows/Delvora-<version>-windows-x64.zip, one
# folder a Windows user unzips and runs: both programs, the Qt libraries and
# plugins they load (laid out as windeployqt does), the MinGW runtime, our
# icon, cursors, skin and samples, the README and the licence; stripped.
# Prints the zip's path on its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/windows-env.sh
windows_deps
windows_configure
cmake --build --preset windows --target delvora delvora-convert delvora_resources >/dev/null

version=$(windows_version)
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
cp README.md "$stage/"
for licence in LICENSE LICENSE.txt LICENSE.md COPYING; do
  if [ -f "$licence" ]; then cp "$licence" "$stage/"; fi
done
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
echo "$zip"
