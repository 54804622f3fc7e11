#!/usr/bin/env bash
# Packages the 64-bit editor's module: out/dist/Velgarde-<version>-aviutl2-win64.zip
# holding Velgarde.auf2 (stripped, with its version resource) and the readmes.
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(Velgarde VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "no version in CMakeLists.txt" >&2; exit 1; }

cmake --preset win64 >/dev/null
cmake --build --preset win64 --target Velgarde
check() {
  cmake -DDLL="$1" -DOBJDUMP=x86_64-w64-mingw32-objdump -DFORMAT=pei-x86-64 -DVERSION="$version" \
        "-DEXPORTS=GetFilterPluginTable;InitializePlugin;UninitializePlugin" -P cmake/CheckDll.cmake
}
check build/win64/Velgarde.auf2

name=Velgarde-$version-aviutl2-win64
stage=out/dist/$name
rm -rf "$stage" "out/dist/$name.zip"
mkdir -p "$stage"
x86_64-w64-mingw32-strip --strip-unneeded -o "$stage/Velgarde.auf2" build/win64/Velgarde.auf2
# The readmes go out with Windows line ends, as Notepad expects.
sed "s/@VERSION@/$version/; s/\$/\r/" aviutl2/readme-ja.txt > "$stage/readme-ja.txt"
sed "s/@VERSION@/$version/; s/\$/\r/" aviutl2/readme-en.txt > "$stage/readme-en.txt"
# Stripping must leave the version resource in place.
check "$stage/Velgarde.auf2"
# cmake's own zip writer: no extra package needed; fixed dates for a repeatable archive.
(cd out/dist && cmake -E tar cf "$name.zip" --format=zip --mtime="2000-01-01 00:00:00" \
    "$name/Velgarde.auf2" "$name/readme-ja.txt" "$name/readme-en.txt")
rm -rf "$stage"
echo "out/dist/$name.zip"
