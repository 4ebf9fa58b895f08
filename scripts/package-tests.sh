#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package, checks what it holds, installs it on this machine with apt-get,
# runs the installed programs (melvigil-cli on a real tree, melvigil in a private X server) and
# removes the package again. Run as root, after scripts/setup.sh.
#
#   scripts/package-tests.sh [build folder]      (default build/package)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath -m "${1:-build/package}")
start=$SECONDS

fail() {
  echo "package-tests: $*" >&2
  exit 1
}

echo "== package: configure and build"
# Warnings are errors in the debug stages; here an optimiser's false alarm must not stop a
# release build (GCC 12 reports -Wrestrict inside std::string at -O2). A unity build (several
# files compiled as one) is quicker to make.
cmake -S . -B "$build" -G Ninja -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_UNITY_BUILD=ON \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DMELVIGIL_WERROR=OFF -DMELVIGIL_TESTS=OFF -DMELVIGIL_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/melvigil_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/melvigil_*_amd64.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "no melvigil_VERSION_amd64.deb in $build"
deb=$(realpath "${debs[0]}")
echo "package: $deb ($(du -k "$deb" | cut -f1) KiB)"

echo "== package: contents"
dpkg-deb -f "$deb" Package Version Architecture Depends Recommends
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libgstreamer1.0-0 libc6; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
recommends=$(dpkg-deb -f "$deb" Recommends)
for p in gstreamer1.0-plugins-good fonts-arphic-uming xdg-utils qt6-translations-l10n; do
  [[ $recommends == *"$p"* ]] || fail "Recommends lacks $p: $recommends"
done
listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
icons=./usr/share/icons/hicolor
for f in ./usr/bin/melvigil ./usr/bin/melvigil-cli ./usr/share/doc/melvigil/copyright \
  ./usr/share/applications/melvigil.desktop \
  ./usr/share/metainfo/org.melvigil.Melvigil.metainfo.xml \
  ./usr/share/man/man1/melvigil.1.gz ./usr/share/man/man1/melvigil-cli.1.gz \
  $icons/48x48/apps/melvigil.png $icons/64x64/apps/melvigil.png \
  $icons/scalable/apps/melvigil.svg; do
  grep -qxF "$f" <<<"$listing" || fail "$f is not in the package"
done
if grep -Ei 'test|bench|/include/|\.a$' <<<"$listing"; then
  fail "tests, benchmarks or build files in the package"
fi
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
for exe in melvigil melvigil-cli; do
  file -b "$unpacked/usr/bin/$exe" | grep -q ', stripped' || fail "$exe is not stripped"
  echo "$exe: $(du -k "$unpacked/usr/bin/$exe" | cut -f1) KiB"
done

echo "== package: install"
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq -o DPkg::Lock::Timeout=300 "$deb" >/dev/null
remove() {
  apt-get purge -y -qq -o DPkg::Lock::Timeout=300 melvigil >/dev/null || true
  rm -rf "$unpacked" "${work:-}"
}
trap remove EXIT
[[ $(dpkg-query -W -f='${Status}' melvigil) == "install ok installed" ]] || fail "not installed"

echo "== package: installed help"
version=$(dpkg-query -W -f='${Version}' melvigil)
for exe in melvigil melvigil-cli; do
  "/usr/bin/$exe" --version | grep -qx "$exe $version" ||
    fail "$exe --version does not name the package's version $version"
done
for page in melvigil melvigil-cli; do
  [[ $(man -w "$page") == /usr/share/man/man1/$page.1.gz ]] || fail "man $page not found"
  warnings=$(MANWIDTH=80 man --warnings -E UTF-8 "$page" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "man $page: $warnings"
done

echo "== package: desktop entry and AppStream metadata"
desktop-file-validate /usr/share/applications/melvigil.desktop
appstreamcli validate --no-net /usr/share/metainfo/org.melvigil.Melvigil.metainfo.xml

echo "== package: installed melvigil-cli on a real tree"
work=$(mktemp -d)
mkdir -p "$work/tree/sub"
/usr/bin/melvigil-cli list "$work/tree" >"$work/list.out" 2>"$work/list.err" &
pid=$!
# The watcher arms in the background and says nothing when it is ready: new files until one
# is listed.
seen=""
for i in $(seq 1 40); do
  : >"$work/tree/sub/song$i.mp3"
  sleep 0.25
  if seen=$(grep -m1 "^+	$work/tree/sub/song[0-9]*\.mp3\$" "$work/list.out"); then
    break
  fi
done
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[[ -n $seen ]] || { cat "$work/list.out" "$work/list.err" >&2; fail "nothing listed"; }
[[ $status -eq 0 ]] || fail "melvigil-cli list exited with $status after SIGTERM"
echo "listed: $seen"

echo "== package: installed melvigil in Xvfb"
tests/gui/Unit_main/smoke_window.sh /usr/bin/melvigil "$build/smoke"

echo "== package: remove"
apt-get purge -y -qq -o DPkg::Lock::Timeout=300 melvigil >/dev/null
[[ ! -e /usr/bin/melvigil ]] || fail "/usr/bin/melvigil left after removal"
trap 'rm -rf "$work"' EXIT
echo "== package tests passed in $((SECONDS - start)) s"
