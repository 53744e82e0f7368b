#!/bin/sh
# The Linux start-at-login files as scripts/install-user puts them into a
# fresh HOME: systemd-analyze accepts the unit without a finding, the unit
# runs the copied executable, a reinstall replaces a running copy, and
# uninstalling stops the service and keeps the documents unless asked.
#   user_unit_test.sh SOURCE_DIR BINARY
# Exit 77 (skipped) only when systemd-analyze is missing or cannot check even
# a minimal unit on this machine.
set -eu
source_dir=$1
binary=$2
install_user=$source_dir/scripts/install-user

if ! command -v systemd-analyze >/dev/null 2>&1; then
  echo "SKIP: systemd-analyze is not installed (Debian package systemd)"
  exit 77
fi

tmp=$(mktemp -d)
service=""
started=""
# Ends the copies this test started that still run, and only those.
cleanup() {
  for pid in $started; do
    case $(readlink "/proc/$pid/exe" 2>/dev/null) in
      "$tmp"/*) kill "$pid" 2>/dev/null || true ;;
    esac
  done
  rm -rf "$tmp"
}
trap cleanup EXIT
# Nothing here may reach the caller's own service manager or files.
export HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/run"
unset XDG_CONFIG_HOME XDG_DATA_HOME DBUS_SESSION_BUS_ADDRESS
mkdir -p "$HOME"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
dir=$HOME/.local/share/tessavin-server
exe=$dir/TessavinServer
unit=$HOME/.config/systemd/user/tessavin-server.service

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Prints what systemd-analyze says about the unit file $1 and succeeds only
# when it says nothing: unknown keys and bad values are warnings that leave
# its exit status 0, so its words count, not only its status.
verify() {
  status=0
  out=$(cd "$tmp" && systemd-analyze --user verify "$1" 2>&1) || status=$?
  findings=$(printf '%s\n' "$out" | grep -F "$(basename "$1")" || true)
  [ -n "$out" ] && printf '%s\n' "$out" | sed 's/^/  systemd-analyze: /'
  [ "$status" = 0 ] && [ -z "$findings" ]
}

mkdir "$tmp/probe"
printf '[Service]\nExecStart=/bin/true\n' >"$tmp/probe/probe.service"
if ! verify "$tmp/probe/probe.service"; then
  echo "SKIP: systemd-analyze cannot check a minimal user unit here"
  exit 77
fi

echo "install into a fresh HOME"
installed=$("$install_user" --files-only "$binary")
printf '%s\n' "$installed"
# build/native has no release key: what it says of its self-update.
case $installed in
  *"never installs anything"*) ;;
  *) fail "install-user did not say that this build's self-update never installs" ;;
esac
if [ ! -x "$exe" ] || ! cmp -s "$binary" "$exe"; then fail "$exe is not a copy of $binary"; fi
[ -f "$unit" ] || fail "no unit at $unit"
verify "$unit" || fail "systemd-analyze found fault with the installed unit"

# The unit starts the copy, from its own directory, and leaves the
# self-update's swap script alive when the service exits (see the unit).
exec_line=$(sed -n 's/^ExecStart=//p' "$unit" | sed "s|%h|$HOME|g")
[ "$exec_line" = "$exe" ] || fail "ExecStart is '$exec_line', not $exe"
grep -qx 'KillMode=process' "$unit" || fail "KillMode=process is gone"
grep -qx 'Restart=on-failure' "$unit" || fail "Restart=on-failure is gone"

# The check itself must see a broken unit: a bad value, an unknown key and
# an executable that is not there each give a finding.
mkdir "$tmp/broken"
broken=$tmp/broken/tessavin-server.service
for fault in 's/^\[Service\]$/[Service]\nRestart=sometimes/' \
  's/^\[Service\]$/[Service]\nKilMode=process/' \
  's|^ExecStart=.*|ExecStart=%h/no-such-dir/TessavinServer|'; do
  sed "$fault" "$unit" >"$broken"
  if cmp -s "$unit" "$broken"; then
    fail "fault '$fault' changed nothing in the unit"
  elif verify "$broken" >/dev/null; then
    fail "systemd-analyze accepted a unit with fault '$fault'"
  fi
done

echo "reinstall over a running copy, then uninstall"
mkdir -p "$dir/data"
printf '{"a":1}' >"$dir/data/notes.json"
printf 'log\n' >"$dir/TessavinServer-update.txt"
# A running copy is recognised by its executable's path alone, so a copy of
# sleep installed in the service's place stands in for it and takes no port;
# it carries the line a build without a release key has.
stand_in=$tmp/stand-in
cp "$(command -v sleep)" "$stand_in"
printf 'tessavin-self-update: unverified\n' >>"$stand_in"
start_copy() {
  "$install_user" --files-only "$stand_in" >/dev/null
  (cd "$tmp" && exec "$exe" 600 </dev/null >/dev/null 2>&1) &
  service=$!
  started="$started $service"
  n=0
  until [ "$(readlink "/proc/$service/exe" 2>/dev/null)" = "$exe" ] || [ $n -ge 100 ]; do
    sleep 0.1
    n=$((n + 1))
  done
  [ "$(readlink "/proc/$service/exe" 2>/dev/null)" = "$exe" ] ||
    fail "the installed stand-in did not start"
}
# Succeeds when the hand-started copy has ended; reaps it.
copy_ended() {
  readlink "/proc/$service/exe" >/dev/null 2>&1 && return 1
  wait "$service" 2>/dev/null || true
  service=""
}

start_copy
"$install_user" --files-only "$binary" >/dev/null
copy_ended || fail "reinstalling left the old copy running"
cmp -s "$binary" "$exe" || fail "reinstalling did not replace the executable"

start_copy
"$install_user" --uninstall --files-only >/dev/null
copy_ended || fail "uninstalling left the service running"
[ ! -e "$exe" ] || fail "uninstalling left the executable"
[ ! -e "$unit" ] || fail "uninstalling left the unit"
[ "$(cat "$dir/data/notes.json" 2>/dev/null)" = '{"a":1}' ] ||
  fail "uninstalling lost a document"
[ -f "$dir/TessavinServer-update.txt" ] || fail "uninstalling lost the update log"

echo "refuse builds that could install unsigned files"
for marker in 'tessavin-self-update: unsigned-test' ''; do
  cp "$(command -v sleep)" "$tmp/refused"
  printf '%s\n' "$marker" >>"$tmp/refused"
  if "$install_user" --files-only "$tmp/refused" >/dev/null 2>&1; then
    fail "install-user installed a build marked '$marker'"
  fi
  cmp -s "$tmp/refused" "$exe" && fail "the refused build '$marker' was copied all the same"
done

"$install_user" --files-only "$binary" >/dev/null
"$install_user" --uninstall --purge --files-only >/dev/null
[ ! -e "$dir" ] || fail "--purge left $dir"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
