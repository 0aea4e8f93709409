#!/usr/bin/env bash
# tovix8svc for real under Wine: the command line's texts and exit codes,
# install / start / stop / uninstall through Wine's service control manager
# (checked with Wine's own sc and reg), a second instance, -service at a
# console. The service runs from a folder whose path contains spaces, which
# only works when install quotes the image path. No driver is reachable:
# the service must start and stop cleanly without one.
#
#   tovix8svc_wine_test.sh <wine-run> <tovix8svc.exe> <scratch dir>
set -u
WINE_RUN="$1"
BUILT_EXE="$2"
SCRATCH="$3"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# Runs the program; OUT (without CRs) and RC.
run() {
  "$WINE_RUN" "$EXE" "$@" >"$SCRATCH/out.txt" 2>/dev/null </dev/null
  RC=$?
  OUT="$(tr -d '\r' <"$SCRATCH/out.txt")"
}
expect() {  # expect <what> <exit code> <exact output>
  if [ "$RC" != "$2" ]; then fail "$1: exit code $RC, expected $2"; return; fi
  if [ "$OUT" != "$3" ]; then fail "$1: printed [$OUT], expected [$3]"; return; fi
  pass "$1"
}
service_state() {  # the STATE number of "sc query", empty when there is none
  "$WINE_RUN" sc query tovix8svc 2>/dev/null | tr -d '\r' | sed -n 's/.*STATE *: *\([0-9]\).*/\1/p' | head -n 1
}
# Waits up to 60 s for the service to reach a state; the program's own
# start returns before the service has reported it.
wait_state() {
  for _ in $(seq 1 120); do
    [ "$(service_state)" = "$1" ] && return 0
    sleep 0.5
  done
  return 1
}

# The program in a folder with spaces.
DIR="$SCRATCH/service test/Tovix8 Service"
rm -rf "$SCRATCH/service test"
mkdir -p "$DIR"
cp "$BUILT_EXE" "$DIR/tovix8svc.exe"
EXE="$DIR/tovix8svc.exe"

# Leftovers of an earlier run.
run -uninstall

# --- command line
run
expect "no argument" 1 "No arguments given, use -h."
run -h
HELP="$(printf '\ntovix8svc V1.36\nTovix8 control Service\n\nSupported command line options:\n -install    Install the service.\n -uninstall  Uninstall the service.\n -start      Start the service.\n -stop       Stop the service.\n -console    Start service in console mode.\n -h, -?      Print this help message.')"
expect "-h" 0 "$HELP"
run '-?'
expect "-?" 0 "$HELP"
run -INSTALL
expect "wrongly cased switch" 1 "Unknown argument -INSTALL, use -h."
run -bogus
expect "unknown switch" 1 "Unknown argument -bogus, use -h."
run -service
expect "-service at a console" 255 ""
run -stop
expect "-stop while not installed" 36 "Error stopping service."
run -uninstall
expect "-uninstall while not installed" 36 "Error uninstalling service."

# --- install
run -install
expect "-install" 0 "Service installed successfully."
[ "$(service_state)" = 1 ] && pass "installed service is stopped" || fail "sc query after install: [$(service_state)]"
IMAGE="$("$WINE_RUN" reg query 'HKLM\SYSTEM\CurrentControlSet\Services\tovix8svc' /v ImagePath 2>/dev/null | tr -d '\r' | grep ImagePath)"
case "$IMAGE" in
  *'"'*'\service test\Tovix8 Service\tovix8svc.exe" -service') pass "image path quoted: $IMAGE" ;;
  *) fail "image path not quoted: [$IMAGE]" ;;
esac
START_TYPE="$("$WINE_RUN" reg query 'HKLM\SYSTEM\CurrentControlSet\Services\tovix8svc' /v Start 2>/dev/null | tr -d '\r' | grep -o '0x[0-9a-f]*')"
[ "$START_TYPE" = 0x2 ] && pass "auto start" || fail "start type [$START_TYPE]"
SOURCE="$("$WINE_RUN" reg query 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\tovix8svc' 2>/dev/null | tr -d '\r')"
echo "$SOURCE" | grep -q 'EventMessageFile.*REG_EXPAND_SZ.*tovix8svc.exe' && pass "EventMessageFile" || fail "EventMessageFile: [$SOURCE]"
echo "$SOURCE" | grep -q 'TypesSupported.*REG_DWORD.*0x7' && pass "TypesSupported" || fail "TypesSupported: [$SOURCE]"
run -install
expect "-install over an installed service" 0 "Service installed successfully."

# --- start, a second instance, stop
run -start
expect "-start" 0 "Service started successfully."
if wait_state 4; then pass "service running (no driver reachable)"; else fail "service not running: [$(service_state)]"; fi
run -console
expect "second instance in console mode" 0 "Cannot start, another instance is already running."
run -start
[ "$RC" != 0 ] && [ "$OUT" = "Error starting service." ] && pass "-start while running" || fail "-start while running: $RC [$OUT]"
run -stop
expect "-stop" 0 "Service stopped successfully."
[ "$(service_state)" = 1 ] && pass "service stopped" || fail "sc query after stop: [$(service_state)]"
run -stop
expect "-stop of a stopped service" 38 "Error stopping service."

# --- start again and uninstall while it runs (uninstall stops first)
run -start
expect "-start again" 0 "Service started successfully."
wait_state 4 || fail "service not running again: [$(service_state)]"
run -uninstall
expect "-uninstall" 0 "Service uninstalled successfully."
[ -z "$(service_state)" ] && pass "service gone" || fail "sc query after uninstall: [$(service_state)]"
if "$WINE_RUN" reg query 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\tovix8svc' >/dev/null 2>&1; then
  fail "event source left behind"
else
  pass "event source removed"
fi

rm -rf "$SCRATCH/service test"
echo "$failures failure(s)"
[ "$failures" -eq 0 ]
