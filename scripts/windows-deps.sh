#!/usr/bin/env bash
# Builds the libraries Pagewash links on 64-bit Windows from Debian's own source packages, with the
# MinGW-w64 toolchain of cmake/mingw-w64-x86_64.cmake, into build/windows/deps (headers and static
# libraries): libjpeg-turbo (its SIMD code assembled by nasm), zlib, libpng, Highway and libtiff (its
# CCITT codecs, no other library linked), Google Benchmark for pagewash-bench, at the versions the Linux
# build links; GoogleTest from /usr/src/googletest. CLI11 and nlohmann-json are header-only:
# their Debian headers are used in place, through CMake package files written here.
# Each library is rebuilt only when its source version or the toolchain file changed (a stamp file per
# library); a second run does nothing. Installs what it needs from Debian's packages first.
# The sources come through `apt-get source` with a private apt configuration under build/windows/apt,
# derived from the machine's own apt sources with deb-src entries: the system's configuration is left
# alone.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
windows="$root/build/windows"
deps="$windows/deps"
sources="$windows/src"
apt_dir="$windows/apt"
stamps="$deps/stamps"
jobs=$(nproc)
# Raised when a library's recipe below changes, so that the stamps of earlier builds no longer match.
recipe=1

# elapsed SECONDS_AT_START: the time since then, for the closing line of each step.
elapsed() { echo "$((SECONDS - $1)) s"; }

start=$SECONDS
# ---- the tools ------------------------------------------------------------------------------------
started=$SECONDS
wanted=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix nasm wine wine64 cmake ninja-build
        dpkg-dev googletest libcli11-dev nlohmann-json3-dev)
bash scripts/install-packages.sh windows-deps "${wanted[@]}"
echo "== tools: $(elapsed "$started")"

# ---- the private apt configuration ----------------------------------------------------------------
apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
             -o "Dir::State=$apt_dir/state" -o "Dir::Cache=$apt_dir/cache" -o "APT::Sandbox::User=root")

# Writes deb-src entries for the Debian archives among the machine's apt sources (both the one-line
# and the deb822 format), same mirrors, suites and components; other repositories are left out, since
# most of them publish no sources.
derive_apt_sources() {
  rm -rf "$apt_dir"
  mkdir -p "$apt_dir/sources.list.d" "$apt_dir/state/lists/partial" "$apt_dir/cache/archives/partial"
  : >"$apt_dir/sources.list"
  local archive='/debian(-security)?/?$'
  local file
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] || continue
    awk -v archive="$archive" '
      $1 == "deb" { i = 2; if ($i ~ /^\[/) { while (i < NF && $i !~ /\]$/) i++; i++ }
                    if ($i ~ archive) { sub(/^deb/, "deb-src"); print } }' "$file" >>"$apt_dir/sources.list"
  done
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    awk -v archive="$archive" '
      function flush() { if (stanza != "" && binary && debian && enabled) printf "%s\n", stanza
                         stanza = ""; binary = 0; debian = 0; enabled = 1 }
      BEGIN { enabled = 1 }
      /^[ \t]*$/ { flush(); next }
      tolower($1) == "types:" { for (i = 2; i <= NF; i++) if ($i == "deb") binary = 1
                                stanza = stanza "Types: deb-src\n"; next }
      tolower($1) == "uris:" { for (i = 2; i <= NF; i++) if ($i ~ archive) debian = 1 }
      tolower($1) == "enabled:" && tolower($2) == "no" { enabled = 0 }
      { stanza = stanza $0 "\n" }
      END { flush() }' "$file" >"$apt_dir/sources.list.d/$(basename "$file")"
  done
  if ! grep -qs '^deb-src\|^Types: deb-src' "$apt_dir/sources.list" "$apt_dir"/sources.list.d/*; then
    echo "windows-deps: no Debian archive among the apt sources of this machine" >&2
    exit 1
  fi
}

apt_ready=false
# Reads the source indexes once per run, and only when a library is to be built.
private_apt_update() {
  $apt_ready && return
  local started=$SECONDS
  derive_apt_sources
  apt-get "${apt_options[@]}" update -qq
  apt_ready=true
  echo "== apt source indexes: $(elapsed "$started")"
}

# fetch SOURCE_PACKAGE LINUX_VERSION: unpacks a Debian source package (its patches applied) under
# build/windows/src, sets `folder` to it and `version` to its version: the version the Linux build
# links when the archive still serves it, or else the newest it serves (an index may name a version
# that its mirror no longer holds).
fetch() {
  private_apt_update
  local download="$sources/$1" wanted=() candidate
  [ -z "$2" ] || wanted=("$2")
  while read -r candidate; do
    [ "$candidate" = "$2" ] || wanted+=("$candidate")
  done < <(apt-cache "${apt_options[@]}" showsrc --only-source "$1" | awk '/^Version:/ { print $2 }' |
           sort -u | sort_versions_newest_first)
  for version in "${wanted[@]}"; do
    rm -rf "$download"
    mkdir -p "$download"
    if (cd "$download" && apt-get "${apt_options[@]}" source -qq "$1=$version" >"$download.log" 2>&1); then
      folder=$(find "$download" -mindepth 1 -maxdepth 1 -type d)
      [ -z "$2" ] || [ "$version" = "$2" ] ||
        echo "windows-deps: the archive no longer serves $1 $2 of the Linux build; building $version"
      return
    fi
  done
  echo "windows-deps: no version of the source package $1 could be fetched; the last attempt said:" >&2
  cat "$download.log" >&2
  exit 1
}

sort_versions_newest_first() {
  local versions=() i j swap
  mapfile -t versions
  for ((i = 0; i < ${#versions[@]}; i++)); do
    for ((j = i + 1; j < ${#versions[@]}; j++)); do
      if dpkg --compare-versions "${versions[j]}" gt "${versions[i]}"; then
        swap="${versions[i]}" versions[i]="${versions[j]}" versions[j]="$swap"
      fi
    done
  done
  printf '%s\n' "${versions[@]}"
}

toolchain_hash=$(sha256sum "$toolchain" | cut -c1-16)
# The stamp of a library: the version the Linux build links (or none), the version built, the
# toolchain file and the recipe. A library whose stamp matches in all but the built version is up to
# date without asking the archive.
stamp_of() { cat "$stamps/$1" 2>/dev/null || true; }
stamp_matches() { [ "$(stamp_of "$1" | cut -d' ' -f1,3,4)" = "linux=${2:-none} $toolchain_hash $recipe" ]; }
write_stamp() {
  mkdir -p "$stamps"
  echo "linux=${2:-none} $3 $toolchain_hash $recipe" >"$stamps/$1"
}

# cross_configure SOURCE_FOLDER BUILD_FOLDER ARGS...: a fresh configuration with the toolchain, its
# output in BUILD_FOLDER.log (shown when a step fails).
cross_configure() {
  local source="$1"
  build="$2"
  shift 2
  rm -rf "$build"
  # Optimised as Debian builds its packages (-O2, no build type of CMake's).
  CFLAGS="-O2 ${extra_cflags:-}" CXXFLAGS="-O2" \
    quiet cmake -S "$source" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=None \
          -DCMAKE_INSTALL_PREFIX="$deps" -DBUILD_SHARED_LIBS=OFF "$@"
}
quiet() { "$@" >>"$build.log" 2>&1 || { tail -30 "$build.log" >&2; exit 1; }; }

# cross_cmake SOURCE_FOLDER BUILD_FOLDER ARGS...: configures, builds and installs into deps.
cross_cmake() {
  cross_configure "$@"
  quiet cmake --build "$build" -j "$jobs"
  quiet cmake --install "$build"
}

# build_library NAME SOURCE_PACKAGE LINUX_BINARY_PACKAGE: fetches and builds one library with its
# recipe (the function build_NAME, given the unpacked source folder).
build_library() {
  local started=$SECONDS linux version folder build
  linux=$(installed_source_version "$3")
  if stamp_matches "$1" "$linux"; then
    echo "== $1 $(stamp_of "$1" | cut -d' ' -f2): up to date"
    return
  fi
  fetch "$2" "$linux"
  "build_$1" "$folder"
  write_stamp "$1" "$linux" "$version"
  echo "== $1 $version: built in $(elapsed "$started")"
}

# ---- the recipes ----------------------------------------------------------------------------------
build_zlib() {
  # Only the static library: Debian's source leaves out the resources of zlib's DLL. Debian builds
  # zlib for x86 with unaligned loads in its match search.
  extra_cflags=-DUNALIGNED_OK cross_configure "$1" "$windows/build-zlib"
  quiet cmake --build "$build" -j "$jobs" --target zlibstatic
  mkdir -p "$deps/include" "$deps/lib"
  cp "$1/zlib.h" "$build/zconf.h" "$deps/include/"
  cp "$build/libzlibstatic.a" "$deps/lib/libz.a"
}

build_libpng() {
  cross_cmake "$1" "$windows/build-libpng" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
              -DPNG_EXECUTABLES=OFF -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON \
              -DZLIB_ROOT="$deps"
}

build_jpeg() {
  # The libjpeg 6.2 interface of Debian's libjpeg-dev, its SIMD code required.
  cross_cmake "$1" "$windows/build-jpeg" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF \
              -DWITH_SIMD=ON -DREQUIRE_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm
}

build_highway() {
  cross_cmake "$1" "$windows/build-highway" -DHWY_ENABLE_TESTS=OFF -DHWY_ENABLE_EXAMPLES=OFF \
              -DHWY_ENABLE_CONTRIB=OFF -DHWY_ENABLE_INSTALL=ON
}

build_tiff() {
  # Only what CCITT Group 4 coding needs: no codec that would link another library (the static library
  # then needs nothing beside it), no tools, tests, documentation nor C++ stream interface.
  cross_cmake "$1" "$windows/build-tiff" -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF \
              -Dtiff-docs=OFF -Dcxx=OFF -Dzlib=OFF -Dlibdeflate=OFF -Dpixarlog=OFF -Djpeg=OFF \
              -Dold-jpeg=OFF -Djpeg12=OFF -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF
}

build_benchmark() {
  # Google Benchmark for pagewash-bench: the library alone, no LTO, no tests; its version given as
  # Debian's build gives it (its source reads no Git tags).
  cross_cmake "$1" "$windows/build-benchmark" -DGIT_VERSION="$(upstream "$version")" -DBENCHMARK_ENABLE_TESTING=OFF -DBENCHMARK_ENABLE_GTEST_TESTS=OFF \
              -DBENCHMARK_ENABLE_WERROR=OFF -DBENCHMARK_ENABLE_LTO=OFF -DBENCHMARK_ENABLE_INSTALL=ON \
              -DBENCHMARK_INSTALL_DOCS=OFF
}

# GoogleTest and GoogleMock from Debian's source of them (package googletest).
build_googletest() {
  local started=$SECONDS linux build
  linux=$(installed_source_version googletest)
  if stamp_matches googletest "$linux"; then
    echo "== googletest $linux: up to date"
    return
  fi
  cross_cmake /usr/src/googletest "$windows/build-googletest"
  write_stamp googletest "$linux" "$linux"
  echo "== googletest $linux: built in $(elapsed "$started")"
}

# CLI11 and nlohmann-json: CMake packages that name Debian's headers through links in
# deps/debian-include, so that no other header of the Linux system is seen.
header_only_package() {
  local name="$1" target="$2" headers="$3" version="$4" folder="$deps/lib/cmake/$1"
  mkdir -p "$deps/debian-include" "$folder"
  ln -sfn "/usr/include/$headers" "$deps/debian-include/$headers"
  cat >"$folder/${name}Config.cmake" <<END
# Written by scripts/windows-deps.sh: Debian's $name headers (header-only) for the Windows build.
if(NOT TARGET $target)
  add_library($target INTERFACE IMPORTED)
  set_target_properties($target PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "$deps/debian-include")
endif()
END
  cat >"$folder/${name}ConfigVersion.cmake" <<END
set(PACKAGE_VERSION $version)
if(PACKAGE_FIND_VERSION VERSION_GREATER PACKAGE_VERSION
   OR (PACKAGE_FIND_VERSION AND NOT PACKAGE_FIND_VERSION_MAJOR STREQUAL "${version%%.*}"))
  set(PACKAGE_VERSION_COMPATIBLE FALSE)
else()
  set(PACKAGE_VERSION_COMPATIBLE TRUE)
  if(PACKAGE_FIND_VERSION STREQUAL PACKAGE_VERSION)
    set(PACKAGE_VERSION_EXACT TRUE)
  endif()
endif()
END
  echo "== $name $version: Debian's headers"
}

# installed_source_version BINARY_PACKAGE: the source version of an installed package, or nothing.
installed_source_version() {
  dpkg-query -W -f='${db:Status-Abbrev} ${source:Version}' "$1" 2>/dev/null | awk '/^ii/ { print $2 }'
}

# upstream VERSION: the upstream part of a Debian version (2.1.2+ds-1 -> 2.1.2).
upstream() { local v="${1#*:}"; v="${v%-*}"; echo "${v%%[+~]*}"; }

# ---- run ------------------------------------------------------------------------------------------
mkdir -p "$windows"
build_library zlib zlib zlib1g-dev
build_library libpng libpng1.6 libpng-dev
build_library jpeg libjpeg-turbo libjpeg62-turbo-dev
build_library highway highway libhwy-dev
build_library tiff tiff libtiff-dev
build_library benchmark benchmark libbenchmark-dev
build_googletest
header_only_package CLI11 CLI11::CLI11 CLI "$(upstream "$(installed_source_version libcli11-dev)")"
header_only_package nlohmann_json nlohmann_json::nlohmann_json nlohmann \
                    "$(upstream "$(installed_source_version nlohmann-json3-dev)")"
echo "== Windows dependencies in $deps: $(elapsed "$start")"
