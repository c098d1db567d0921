#!/usr/bin/env bash
# Cross-builds Pagewash for 64-bit Windows (cmake/mingw-w64-x86_64.cmake, the libraries of
# scripts/windows-deps.sh) into build/windows/release and runs the built test programs under Wine, in
# a prefix of their own (build/windows/wineprefix). Then pagewash-cli.exe is compared with the Linux
# build's pagewash-cli: the same bytes for every PDF of tests/data at three settings
# (tests/windows/identical_outputs.sh), the same behaviour on Japanese and other names, a read-only
# folder and a planted link (tests/windows/file_behaviour.sh). The native dialog's tests run on a virtual
# display (Xvfb). Last, the installer (scripts/installer-windows.sh) is installed, used and uninstalled
# silently (tests/windows/installer.sh).
# What builds for Windows today must build: the settings tests and the imaging kernels' tests, with a
# program that names the Highway targets they run at. The rest is then built as far as it goes, and
# the files that do not build yet are listed with their first error; they do not fail the run.
# Usage: scripts/test-windows.sh [--quick]   (--quick: only what must build, not the rest nor the
# comparisons with Linux)
set -euo pipefail
cd "$(dirname "$0")/.."
quick=false
case "${1:-}" in
  --quick) quick=true ;;
  "") ;;
  *) echo "usage: scripts/test-windows.sh [--quick]" >&2; exit 2 ;;
esac
start=$SECONDS
elapsed() { echo "$((SECONDS - $1)) s"; }

bash scripts/windows-deps.sh

out=build/windows/release
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
parallel=$(nproc)

started=$SECONDS
cmake -S . -B "$out" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAGEWASH_WERROR=$werror -DPAGEWASH_BUILD_UI=OFF \
      -DPAGEWASH_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
echo "== Windows configure: $(elapsed "$started")"

# One Wine server serves every test program and ends with the run. wineboot makes the prefix the first
# time and starts Wine's own services, which live as long as the server: started here, they hold no
# pipe of a test's output (ctest and the test discovery wait for its end).
export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
started=$SECONDS
# The dialog's tests show real windows: a virtual display serves Wine for the length of the run.
bash scripts/install-packages.sh test-windows.sh xvfb xauth fonts-ipafont-gothic
display_file=$(mktemp)
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$display_file" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$display_file")"
rm -f "$display_file"
wineserver --kill >/dev/null 2>&1 || true  # one left by a build's test discovery
mkdir -p "$WINEPREFIX"  # the server needs the folder; wineboot fills it
wineserver --persistent >/dev/null 2>&1
trap 'wineserver --kill; kill "$xvfb_pid"' EXIT
wineboot --init >/dev/null 2>&1
# The dialog's Japanese font: IPA P Gothic stands in for "Yu Gothic UI", its first choice on Windows.
cp -u /usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Yu Gothic UI' /d IPAPGothic /f >/dev/null 2>&1
echo "== Wine prefix and server: $(elapsed "$started")"

started=$SECONDS
cmake --build "$out" -j "$parallel" --target settings_tests imaging_kernel_tests highway_targets
echo "== Windows build of what builds today: $(elapsed "$started")"

if ! $quick; then
  started=$SECONDS
  log=build/windows/port.log
  if cmake --build "$out" -j "$parallel" -- -k 0 >"$log" 2>&1; then
    echo "== Windows build of everything: $(elapsed "$started")"
  else
    # ninja compiles no file of a library whose dependencies failed: those files are compiled alone,
    # so that the list below is complete.
    ninja -C "$out" -t targets all | awk -F: '$2 ~ /^ CXX_COMPILER__/ { print $1 }' |
      while read -r object; do
        [ -f "$out/$object" ] && continue
        (cd "$out" && eval "$(ninja -t commands "$object" | tail -1)") >>"$log" 2>&1 || true
      done
    echo "== Windows build of everything: $(elapsed "$started"); these files do not build yet ($log):"
    awk -v root="$PWD/" '/: (fatal )?error: / {
           file = $1; sub(/:[0-9]+:[0-9]+:$/, "", file); sub(/^(\.\.\/)+/, "", file); sub(root, "", file)
           if (!(file in seen)) { seen[file] = 1; message = $0; sub(/^[^ ]+ /, "", message)
                                  printf "   %s: %s\n", file, message } }' "$log"
  fi
  not_built=$(ctest --test-dir "$out" -N -R '_NOT_BUILT$' 2>/dev/null |
              awk '/Test +#/ { sub(/_NOT_BUILT$/, "", $3); printf " %s", $3 }')
  echo "== Test programs not built yet:${not_built:- none}"
fi

echo "== Windows programs:"
find "$out" -name '*.exe' -not -path '*/CMakeFiles/*' -printf '   %s bytes  %P\n' | sort -k3
echo "== Highway targets of the kernel tests under Wine: $(wine "$out/tests/imaging/highway_targets.exe" | tr -d '\r' | tr '\n' ' ')"

started=$SECONDS
if $quick; then
  for program in tests/settings/settings_tests.exe tests/imaging/imaging_kernel_tests.exe; do
    wine "$out/$program" --gtest_brief=1
  done
else
  # A program that does not build yet stands in ctest's list as NAME_NOT_BUILT: it is listed above.
  ctest --test-dir "$out" --output-on-failure -j "$parallel" -E '_NOT_BUILT$'
fi
echo "== Windows tests under Wine: $(elapsed "$started")"

if ! $quick; then
  # The Linux build that the Windows one is compared with: scripts/test.sh's, built here when absent.
  started=$SECONDS
  linux_out=build/release
  [ -f "$linux_out/build.ninja" ] ||
    cmake -S . -B "$linux_out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAGEWASH_WERROR=$werror >/dev/null
  cmake --build "$linux_out" -j "$parallel" --target pagewash-cli >/dev/null
  echo "== Linux pagewash-cli for the comparisons: $(elapsed "$started")"
  started=$SECONDS
  bash tests/windows/identical_outputs.sh "$linux_out/cli/pagewash-cli" "$out/cli/pagewash-cli.exe"
  echo "== Byte-identical outputs: $(elapsed "$started")"
  started=$SECONDS
  bash tests/windows/file_behaviour.sh "$linux_out/cli/pagewash-cli" "$out/cli/pagewash-cli.exe"
  echo "== File names and folders: $(elapsed "$started")"
  started=$SECONDS
  bash scripts/installer-windows.sh
  version=$(sed -n 's/^project(Pagewash VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
  bash tests/windows/installer.sh "build/package/pagewash-$version-setup-x64.exe" "$out/cli/pagewash-cli.exe"
  echo "== Installer built, installed, used and uninstalled: $(elapsed "$started")"
fi
echo "== scripts/test-windows.sh: $(elapsed "$start")"
