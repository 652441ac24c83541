#!/usr/bin/env bash
# Builds the Debian package from an existing build folder, installs it with apt-get, checks the
# installed programs, manual pages, desktop entries, icons, the AppStream metainfo (validated
# with appstreamcli) and bash completion, then removes
# the package and checks that its files are gone.
#   scripts/check-package.sh BUILD_DIR
# Run as root on a machine that may be changed (CI's throwaway machine): it installs and
# removes the package `marrowglen` system-wide, replacing one that is installed already.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: scripts/check-package.sh BUILD_DIR}
build=$(cd "$build" && pwd) || exit 2
failures=0
pass() { echo "PASS: $*"; }
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
check() { # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
is() { [[ $1 == "$2" ]]; }
not() { ! "$@"; }
installed() { dpkg-query -W -f='${Status}' marrowglen 2>/dev/null | grep -q "install ok installed"; }
finish() {
  if ((failures)); then
    echo "FAIL: package check: $failures failure(s)"
    exit 1
  fi
  echo "PASS: package check"
  exit 0
}
export DEBIAN_FRONTEND=noninteractive

if [[ $(id -u) -ne 0 ]]; then
  fail "must run as root: it installs and removes the package"
  finish
fi
for tool in cpack dpkg-deb dpkg-shlibdeps file apt-get appstreamcli; do
  command -v "$tool" >/dev/null || fail "$tool is missing (dpkg-dev provides dpkg-shlibdeps, file the file command, appstream appstreamcli)"
done
((failures)) && finish

# --- build ------------------------------------------------------------------------------
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
rm -f "$build"/marrowglen_*.deb
if ! (cd "$build" && cpack -G DEB >cpack.log 2>&1); then
  fail "cpack -G DEB in $build (see $build/cpack.log)"
  tail -20 "$build/cpack.log"
  finish
fi
debs=("$build"/marrowglen_*.deb)
if [[ ${#debs[@]} -ne 1 || ! -f ${debs[0]} ]]; then
  fail "cpack made exactly one marrowglen_*.deb (found: ${debs[*]})"
  finish
fi
deb=${debs[0]}
pass "built $(basename "$deb")"

field() { dpkg-deb --field "$deb" "$1"; }
check "Package: $(field Package)" is "$(field Package)" marrowglen
check "Version: $(field Version) (the build's $version)" is "$(field Version)" "$version"
check "Section: $(field Section)" is "$(field Section)" utils
check "Maintainer: $(field Maintainer)" is "$(field Maintainer)" "Marrowglen developers"
check "Recommends: $(field Recommends)" grep -qw xdg-utils <<<"$(field Recommends)"
check "Depends from the shared libraries (dpkg-shlibdeps): $(field Depends)" \
  grep -q 'libc6' <<<"$(field Depends)"

# The package's own files (not folders), as installed paths.
mapfile -t files < <(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./|/|')
check "package holds /usr/bin/marrowglen-cli (${#files[@]} files)" \
  grep -qx /usr/bin/marrowglen-cli < <(printf '%s\n' "${files[@]}")
check "package holds the AppStream metainfo" \
  grep -qx /usr/share/metainfo/io.marrowglen.Marrowglen.metainfo.xml < <(printf '%s\n' "${files[@]}")

# --- install ----------------------------------------------------------------------------
if installed; then
  echo "NOTE: removing the marrowglen package installed before this check"
  apt-get remove -y -qq marrowglen >/dev/null
fi
# Running the programs must not leave anything beside them (they may run as root here).
bin_before=$(LC_ALL=C ls -A /usr/bin)
if apt-get install -y -qq "$deb" >"$build/apt-install.log" 2>&1; then
  pass "apt-get install $(basename "$deb")"
else
  fail "apt-get install $(basename "$deb") (see $build/apt-install.log)"
  tail -20 "$build/apt-install.log"
  finish
fi
check "dpkg lists marrowglen as installed" installed

MG_VERSION=$version bash "$root/packaging/check-install-tree.sh" /usr || failures=$((failures + 1))

# --- remove -----------------------------------------------------------------------------
if apt-get remove -y -qq marrowglen >"$build/apt-remove.log" 2>&1; then
  pass "apt-get remove marrowglen"
else
  fail "apt-get remove marrowglen (see $build/apt-remove.log)"
fi
left=()
for f in "${files[@]}"; do
  [[ -e $f || -L $f ]] && left+=("$f")
done
check "every file of the package is gone${left[*]:+ (left: ${left[*]})}" test ${#left[@]} -eq 0
check "dpkg no longer lists marrowglen as installed" not installed
# New entries that no package owns (another package may be installed meanwhile).
stray=$(LC_ALL=C comm -13 <(echo "$bin_before") <(LC_ALL=C ls -A /usr/bin) | while read -r name; do
  dpkg -S "/usr/bin/$name" >/dev/null 2>&1 || echo "/usr/bin/$name"
done | paste -sd ' ')
check "nothing left in /usr/bin by running the programs${stray:+ (left: $stray)}" test -z "$stray"

finish
