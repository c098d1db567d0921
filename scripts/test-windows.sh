#!/usr/bin/env bash
# Cross-builds Pagewash for 64-bit Windows (cmake/mingw-w64-x86_64.cmake, the libraries of
# scripts/windows-deps.sh) into build/windows/release and tests it under Wine, in a prefix of its own
# (build/windows/wineprefix):
# - the test programs of the settings, the imaging, the engine, the cross-reference, the preview and the
#   native dialog, built for Windows (the tests that need Linux tools are skipped there, naming them);
#   the dialog's tests run on a virtual display (Xvfb);
# - the command-line tests, the Linux build of them, run against pagewash-cli.exe under Wine
#   (tests/windows/wine_cli.sh), so that the Linux tools check what the Windows program wrote;
# - the same bytes as the Linux build for every PDF of tests/data at four settings
#   (tests/windows/identical_outputs.sh);
# - the same behaviour on Japanese and other names, a read-only folder and a planted link
#   (tests/windows/file_behaviour.sh);
# - last, the installer (scripts/installer-windows.sh) is installed, used and uninstalled silently
#   (tests/windows/installer.sh), and the zip (scripts/package-windows.sh) unpacked and used
#   (tests/windows/zip.sh).
# The Linux build compared with is scripts/test.sh's build/release, built here when absent.
# Usage: scripts/test-windows.sh [--quick]   (--quick: the settings and imaging tests only)
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
      -DPAGEWASH_BUILD_BENCH=ON "${launcher[@]}" >/dev/null
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
trap 'kill "$xvfb_pid"' EXIT
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
# The temporary folder of a Windows program is the caller's (WINETEMP, WINETMP: Wine reads no TEMP from
# Linux), not the prefix's own, so that a test can give a program a folder of its own. By default one
# that no Linux program uses: the run folders of Windows processes carry numbers a Linux pagewash does not
# know (their lock files keep them, but an older pagewash sees the numbers alone), and the reverse.
for key in 'HKCU\Environment' 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment'; do
  for name in TEMP TMP; do wine reg delete "$key" /v $name /f >/dev/null 2>&1 || true; done
done
mkdir -p build/windows/temp
WINETEMP="Z:$(readlink -f build/windows/temp | tr / '\\')"
export WINETEMP WINETMP="$WINETEMP"
echo "== Wine prefix and server: $(elapsed "$started")"

started=$SECONDS
if $quick; then
  cmake --build "$out" -j "$parallel" --target settings_tests imaging_tests highway_targets
else
  cmake --build "$out" -j "$parallel"
fi
echo "== Windows build: $(elapsed "$started")"
echo "== Windows programs:"
find "$out" -name '*.exe' -not -path '*/CMakeFiles/*' -printf '   %s bytes  %P\n' | sort -k3
echo "== Highway targets of the kernel tests under Wine: $(wine "$out/tests/imaging/highway_targets.exe" | tr -d '\r' | tr '\n' ' ')"

started=$SECONDS
if $quick; then
  for program in tests/settings/settings_tests.exe tests/imaging/imaging_tests.exe; do
    wine "$out/$program" --gtest_brief=1
  done
else
  ctest --test-dir "$out" --output-on-failure -j "$parallel"
fi
echo "== Windows tests under Wine: $(elapsed "$started")"

if ! $quick; then
  # The Linux build: its command-line tests and its pagewash-cli, for the comparisons.
  started=$SECONDS
  linux_out=build/release
  [ -f "$linux_out/build.ninja" ] ||
    cmake -S . -B "$linux_out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAGEWASH_WERROR=$werror >/dev/null
  cmake --build "$linux_out" -j "$parallel" --target pagewash-cli cli_tests >/dev/null
  echo "== Linux pagewash-cli and command-line tests: $(elapsed "$started")"

  # What only Linux has, left out: POSIX permissions and the umask, signals, FIFOs and devices, names
  # that are not UTF-8 (Windows names files in UTF-16), a terminal made by script(1) (Wine's console is
  # no Unix terminal), a standard output closed or full (the wrapper captures it).
  started=$SECONDS
  linux_only='CliTest.PlantedLinksAndFilesAtTemporaryNamesAreNeverWrittenAndTheOutputFollowsTheUmask'
  linux_only+=':CliTest.ProgressFollowsTheImagesOnATerminalAndAPipe'
  linux_only+=':CliTest.NamesThatAreNotUtf8OrHoldControlCharactersStayRecoverableAndHarmlessOnATerminal'
  linux_only+=':CliTest.StandardOutputThatCannotBeWrittenFailsTheRun'
  linux_only+=':CliFilesTest.WhatIsNotARegularFileIsRefusedAtOnceAndAPlantedLinkOrTheInputIsNeverWrittenThrough'
  linux_only+=':CliFilesTest.SignalsRemoveTheRunsTemporaryFilesAndKeepTheEarlierOutput'
  linux_only+=':CliFilesTest.TheFolderOfAKilledRunIsRemovedByTheNextRun'
  PAGEWASH_CLI_UNDER_TEST="$PWD/tests/windows/wine_cli.sh" PAGEWASH_WINDOWS_CLI="$PWD/$out/cli/pagewash-cli.exe" \
    "$linux_out/tests/cli/cli_tests" --gtest_brief=1 --gtest_filter="-$linux_only"
  echo "== Command-line tests against pagewash-cli.exe: $(elapsed "$started")"

  started=$SECONDS
  bash tests/windows/identical_outputs.sh "$linux_out/cli/pagewash-cli" "$out/cli/pagewash-cli.exe"
  echo "== Byte-identical check: $(elapsed "$started")"
  started=$SECONDS
  bash tests/windows/file_behaviour.sh "$linux_out/cli/pagewash-cli" "$out/cli/pagewash-cli.exe"
  echo "== File names and folders: $(elapsed "$started")"
  started=$SECONDS
  bash scripts/installer-windows.sh
  version=$(sed -n 's/^project(Pagewash VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
  bash tests/windows/installer.sh "build/package/pagewash-$version-setup-x64.exe" "$out/cli/pagewash-cli.exe"
  echo "== Installer built, installed, used and uninstalled: $(elapsed "$started")"
  started=$SECONDS
  bash scripts/package-windows.sh
  bash tests/windows/zip.sh "build/package/pagewash-$version-windows-x64.zip" "$out/cli/pagewash-cli.exe"
  echo "== Zip built, unpacked and used: $(elapsed "$started")"
fi
echo "== scripts/test-windows.sh: $(elapsed "$start")"
