#!/usr/bin/env bash
# Checks an installed Marrowglen tree: packaging/check-install-tree.sh PREFIX
# PREFIX is /usr for the installed Debian package, or a staging folder of `cmake --install`.
# MG_VERSION, when set, is the version both programs must report.
# Prints one PASS, FAIL or SKIP line per check; exits 1 when any check failed.
set -uo pipefail

prefix=${1:?usage: check-install-tree.sh PREFIX}
prefix=${prefix%/}
failures=0
pass() { echo "PASS: $*"; }
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
skip() { echo "SKIP: $*"; }
check() { # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
not() { ! "$@"; }
system_install() { [[ $prefix == /usr ]]; }

# dpkg on trimmed images (e.g. Docker's "minimized" Debian) may be told to skip manual pages.
man_pages_excluded() {
  system_install && grep -qs '^path-exclude=/usr/share/man' /etc/dpkg/dpkg.cfg.d/*
}

# Renders a manual page as plain ASCII; roff warnings go to standard error.
render_man() { LC_ALL=C MANWIDTH=250 man --warnings=w -l "$1"; }

# check_man_page NAME: the page is installed, renders without warnings and, for the system
# install, is what `man NAME` finds.
check_man_page() {
  local name=$1 page=$prefix/share/man/man1/$1.1.gz warnings
  if [[ ! -f $page ]] && man_pages_excluded; then
    skip "manual page $name: dpkg is configured to leave out /usr/share/man"
    return 1
  fi
  check "manual page $name installed" test -f "$page" || return 1
  if ! command -v man >/dev/null; then
    fail "manual page $name renders: man is missing (Debian package man-db)"
    return 1
  fi
  warnings=$(render_man "$page" 2>&1 >/dev/null)
  check "manual page $name renders without warnings${warnings:+: $warnings}" test -z "$warnings"
  if system_install; then
    check "man -w $name finds $page" test "$(man -w "$name" 2>/dev/null)" = "$page"
  fi
}

# The words of the CLI's own usage text that its manual page must explain.
documented_in() { # documented_in RENDERED_TEXT WORD
  grep -qE -- "(^|[^-[:alnum:]])$2([^-[:alnum:]]|$)" <<<"$1"
}
check_cli_page_complete() {
  local help=$1 page=$prefix/share/man/man1/marrowglen-cli.1.gz text word missing=()
  text=$(render_man "$page" 2>/dev/null)
  local commands options statuses
  commands=$(sed -n '/^Commands:/,/^$/p' <<<"$help" | awk '/^  [a-z]/ { print $1 }' | sort -u)
  options=$( (sed -n '/^Options/,/^$/p' <<<"$help" | awk '/^  -/ { print $1 }'
    grep -oE -- '--[a-z]+' <<<"$help") | sort -u)
  statuses=$(sed -n '/^Exit status:/,$p' <<<"$help" | grep -oE '(^|[ :,])[0-9]+ [a-z]' | grep -oE '[0-9]+')
  for word in $commands $options; do
    documented_in "$text" "$word" || missing+=("$word")
  done
  for word in $statuses; do
    grep -qE "^ +$word +[A-Z]" <<<"$text" || missing+=("exit status $word")
  done
  check "marrowglen-cli.1 explains every command, option and exit status of --help${missing[*]:+ (missing: ${missing[*]})}" \
    test ${#missing[@]} -eq 0 -a -n "$commands" -a -n "$options" -a -n "$statuses"
}

# Runs the completion function on a typed line in a clean shell; prints the candidates.
complete_line() { # complete_line FILE LINE
  bash --norc --noprofile -c '
    source "$1" || exit 1
    COMP_LINE=$2 COMP_POINT=${#2}
    _marrowglen_cli
    echo "${COMPREPLY[*]}"' complete "$1" "$2" 2>&1
}

check_cli() {
  local cli=$prefix/bin/marrowglen-cli out
  check "marrowglen-cli installed in $prefix/bin" test -x "$cli" || return
  out=$("$cli" --version 2>&1)
  check "marrowglen-cli --version prints '$out'" \
    grep -qxE "marrowglen-cli ${MG_VERSION:-[0-9]+\.[0-9]+\.[0-9]+}" <<<"$out"
  out=$("$cli" --help 2>&1)
  check "marrowglen-cli --help runs and shows its usage" grep -q '^Usage: marrowglen-cli' <<<"$out"
  check_man_page marrowglen-cli && check_cli_page_complete "$out"

  local completion=$prefix/share/bash-completion/completions/marrowglen-cli
  check "bash completion installed" test -f "$completion" || return
  check "bash completion completes the commands" \
    test "$(complete_line "$completion" 'marrowglen-cli ')" = "list test extract cat save"
  check "bash completion completes options" \
    test "$(complete_line "$completion" 'marrowglen-cli list --t')" = "--tsv"
  if system_install && [[ -f /usr/share/bash-completion/bash_completion ]]; then
    # bash-completion loads a command's completion by its name on first use.
    check "bash-completion loads the completion for marrowglen-cli" bash --norc --noprofile -c '
      source /usr/share/bash-completion/bash_completion
      __load_completion marrowglen-cli && complete -p marrowglen-cli | grep -q _marrowglen_cli'
  fi
}

# check_desktop_entry FILE NAME EXEC [MIMETYPE]
check_desktop_entry() {
  local file=$prefix/share/applications/$1 report status
  check "desktop entry $1 installed" test -f "$file" || return
  if ! command -v desktop-file-validate >/dev/null; then
    fail "desktop entry $1 validates: desktop-file-validate is missing (desktop-file-utils)"
    return
  fi
  # Hints (such as naming two main categories) are advice; errors and warnings are not.
  report=$(desktop-file-validate "$file" 2>&1)
  status=$?
  if [[ $status -eq 0 ]] && ! grep -qE "(error|warning):" <<<"$report"; then
    pass "desktop entry $1 validates${report:+ (hints only)}"
  else
    fail "desktop entry $1 validates: $report"
  fi
  check "desktop entry $1: Name=$2" grep -qx "Name=$2" "$file"
  check "desktop entry $1: Exec=$3" grep -qx "Exec=$3" "$file"
  if [[ -n ${4:-} ]]; then
    check "desktop entry $1 opens MimeType=$4" grep -qx "MimeType=$4" "$file"
  else
    check "desktop entry $1 claims no file or address types" not grep -q "^MimeType=" "$file"
  fi
  check "desktop entry $1 names the icon marrowglen" grep -qx "Icon=marrowglen" "$file"
}

check_icons() {
  local hicolor=$prefix/share/icons/hicolor size missing=()
  for size in 16 22 24 32 48 64 128 256; do
    file "$hicolor/${size}x${size}/apps/marrowglen.png" 2>/dev/null |
      grep -q "PNG image data, $size x $size" || missing+=("${size}x${size}")
  done
  grep -qs '<svg' "$hicolor/scalable/apps/marrowglen.svg" || missing+=(scalable)
  check "icons in hicolor (PNG sizes and scalable)${missing[*]:+ (missing: ${missing[*]})}" \
    test ${#missing[@]} -eq 0
}

# The AppStream metainfo validates (no network: the screenshot addresses are not fetched),
# names the viewer's desktop entry and lists this version among its releases.
check_metainfo() {
  local file=$prefix/share/metainfo/io.marrowglen.Marrowglen.metainfo.xml report
  check "AppStream metainfo installed" test -f "$file" || return
  if ! command -v appstreamcli >/dev/null; then
    fail "AppStream metainfo validates: appstreamcli is missing (Debian package appstream)"
    return
  fi
  if report=$(appstreamcli validate --no-net --no-color "$file" 2>&1); then
    pass "AppStream metainfo validates"
  else
    fail "AppStream metainfo validates: $report"
  fi
  check "AppStream metainfo launches marrowglen.desktop" \
    grep -q '<launchable type="desktop-id">marrowglen.desktop</launchable>' "$file"
  if [[ -n ${MG_VERSION:-} ]]; then
    check "AppStream metainfo lists release $MG_VERSION" \
      grep -q "<release version=\"$MG_VERSION\"" "$file"
  fi
}

desktop_entries_installed() {
  compgen -G "$prefix/share/applications/marrowglen*.desktop" >/dev/null
}

check_viewer() {
  local viewer=$prefix/bin/marrowglen out
  if [[ ! -x $viewer ]]; then
    skip "viewer checks: $viewer is not installed (an engine-only build, or no viewer built)"
    check "no desktop entries without the viewer" not desktop_entries_installed
    return
  fi
  # A private home: a viewer that does not know --version would otherwise start and keep
  # settings in the real one.
  local home
  home=$(mktemp -d)
  mkdir -m 700 "$home/runtime"
  out=$(HOME=$home XDG_CONFIG_HOME=$home/config XDG_CACHE_HOME=$home/cache \
    XDG_RUNTIME_DIR=$home/runtime QT_QPA_PLATFORM=offscreen \
    timeout -k 2 10 "$viewer" --version 2>/dev/null </dev/null)
  rm -rf "$home"
  check "marrowglen --version prints '$out'" \
    grep -qiE "^marrowglen ${MG_VERSION:-[0-9]+\.[0-9]+\.[0-9]+}$" <<<"$out"
  check_desktop_entry marrowglen.desktop "Marrowglen" "marrowglen %u" "application/zip;"
  check_desktop_entry marrowglen-monitor.desktop "Marrowglen Clipboard Monitor" "marrowglen /m"
  check_icons
  check_metainfo
  check_man_page marrowglen
}

check_cli
check_viewer
if ((failures)); then
  echo "FAIL: $failures check(s) of the tree in $prefix failed"
  exit 1
fi
echo "PASS: the tree in $prefix"
