#!/usr/bin/env bash
# End to end under Wine: the simulated driver in its own process (tovix8sim)
# with the administrator's opt-in set, the device control service installed
# and started by the service control manager, tovix8ctl as the client.
#
#   service_e2e.sh WINE_RUN TOVIX8SIM TOVIX8CTL TOVIX8SVC WORK_DIR
#
# Checks: a rate change answers 0 and watch sees 3010 then 3011; unplugging
# the last device gives 3030 and the service closes its channel; plugging it
# in again makes the service reopen and redo the device start-up; killing a
# client while it waits for its reply harms nobody; without the opt-in the
# programs do not use the pipe; in console mode a plug after the last unplug
# makes the service reconnect as well. Every wait polls the simulator's dump
# or the service control manager with a generous overall time-out.
set -u

RUN=$1 SIM=$2 CTL=$3 SVC=$4 WORK=$5
PIPE="h6-e2e-$$"
TIMEOUT=${TOVIX8_E2E_TIMEOUT:-180}
KEY='HKLM\Software\HALVENOR\tovix8'
mkdir -p "$WORK"
BG_PIDS=()

log() { echo "[e2e] $*"; }
fail() {
  echo "[e2e] FAILED: $*" >&2
  echo "----- last dump -----" >&2
  sim_ctl dump journal=40 >&2 2>&1 || true
  for f in "$WORK"/*.out; do echo "----- $f -----" >&2; cat "$f" >&2; done
  exit 1
}
sim_ctl() { "$RUN" "$SIM" ctl --pipe "$PIPE" "$@"; }
dump() { sim_ctl dump journal=0 2>/dev/null | tr -d '\r'; }
dump_has() { dump | grep -q -- "$1"; }
dump_lacks() { local d; d=$(dump) && ! grep -q -- "$1" <<<"$d"; }
# wait_for DESCRIPTION COMMAND...: polls until COMMAND succeeds.
wait_for() {
  local what=$1
  shift
  local deadline=$((SECONDS + TIMEOUT))
  until "$@"; do
    [ $SECONDS -ge $deadline ] && fail "timed out waiting for: $what"
    sleep 0.5
  done
}
service_state() { "$RUN" sc query tovix8svc 2>/dev/null | grep -q "STATE.*: *$1 "; }
opt_in() { "$RUN" reg add "$KEY" /v SimulatedDriver /t REG_SZ /d "\\\\.\\pipe\\$PIPE" /f >/dev/null 2>&1; }
opt_out() { "$RUN" reg delete "$KEY" /v SimulatedDriver /f >/dev/null 2>&1; }

cleanup() {
  "$RUN" sc stop tovix8svc >/dev/null 2>&1
  local deadline=$((SECONDS + 60))
  while service_state 4 && [ $SECONDS -lt $deadline ]; do sleep 0.5; done
  "$RUN" "$SVC" -uninstall >/dev/null 2>&1
  sim_ctl stop >/dev/null 2>&1
  for p in "${BG_PIDS[@]}"; do kill -9 "$p" 2>/dev/null; done
  opt_out
}
trap cleanup EXIT

log "simulator on \\\\.\\pipe\\$PIPE"
opt_in || fail "cannot write the opt-in value"
"$RUN" "$SIM" --pipe "$PIPE" >"$WORK/sim.out" 2>&1 &
BG_PIDS+=($!)
wait_for "the simulator" dump_has "^tovix8sim-dump 1"

log "service installed and started by the service control manager"
"$RUN" "$SVC" -uninstall >/dev/null 2>&1
"$RUN" "$SVC" -install >"$WORK/install.out" 2>&1 || fail "tovix8svc -install"
"$RUN" sc start tovix8svc >"$WORK/start.out" 2>&1
wait_for "the service running" service_state 4
wait_for "the service registered as the server" dump_has "registered=1 initiator=0 "
wait_for "the device start-up" dump_has "^device 1 channel-names capture="

log "watch, then a rate change"
"$RUN" "$CTL" watch 600 >"$WORK/watch.out" 2>&1 &
BG_PIDS+=($!)
wait_for "the watcher" dump_has "registered=1 initiator=2 "
"$RUN" "$CTL" set-rate 96000 >"$WORK/setrate.out" 2>&1 || fail "set-rate 96000 exited with $?"
grep -q "^set-rate 96000: ok" "$WORK/setrate.out" || fail "set-rate printed: $(cat "$WORK/setrate.out")"
seen_in_order() {
  local a b
  a=$(grep -n "^3010 STREAM_RESTARTED" "$WORK/watch.out" | head -1 | cut -d: -f1)
  b=$(grep -n "^3011 SAMPLE_RATE_CHANGED" "$WORK/watch.out" | tail -1 | cut -d: -f1)
  [ -n "$a" ] && [ -n "$b" ] && [ "$a" -lt "$b" ]
}
wait_for "3010 then 3011 in watch" seen_in_order
dump_has "rate=96000 " || fail "the simulator's rate is not 96000"

log "the last device unplugged"
sim_ctl unplug 1 >/dev/null || fail "unplug"
wait_for "3030 in watch" grep -q "^3030 DEVICE_LIST_CHANGED" "$WORK/watch.out"
wait_for "the service closing its channel" dump_lacks "initiator=0 "

log "the device plugged in again"
sim_ctl plug T8-0001 >/dev/null || fail "plug"
wait_for "the service reopening" dump_has "registered=1 initiator=0 "
# A plugged-in device is a new instance: its set-up, channel names and
# endpoints are unset until the service's start-up of the device sets them.
wait_for "the device start-up redone" dump_has "^device 1 setup=set"
wait_for "the channel names set anew" dump_has "^device 1 channel-names capture="
wait_for "the endpoints set anew" dump_has "^device 1 endpoints capture="

log "a client killed while it waits for its reply"
sim_ctl hold-new-replies on >/dev/null || fail "hold-new-replies on"
"$RUN" "$CTL" --timeout 300000 set-rate 44100 >"$WORK/killed.out" 2>&1 &
VICTIM=$!
BG_PIDS+=($VICTIM)
held() { dump | grep "registered=1 initiator=3 " | grep -q " parked=1$"; }
wait_for "the victim's reply held" held
sim_ctl hold-new-replies off >/dev/null
kill -9 "$VICTIM"
wait_for "the victim's handle gone" dump_lacks "initiator=3 "
"$RUN" "$CTL" set-rate 48000 >"$WORK/after.out" 2>&1 || fail "set-rate after the kill exited with $?"
dump_has "registered=1 initiator=0 " || fail "the service lost its channel"
dump_has "registered=1 initiator=2 " || fail "the watcher lost its channel"

log "without the opt-in nobody uses the pipe"
before=$(dump | grep -c "^handle ")
opt_out
"$RUN" "$CTL" status >"$WORK/noopt.out" 2>&1
rc=$?
[ $rc -eq 3 ] || fail "tovix8ctl status without the opt-in exited with $rc"
after=$(dump | grep -c "^handle ")
[ "$before" = "$after" ] || fail "a handle was opened without the opt-in ($before -> $after)"
opt_in

log "console mode: a plug after the last unplug reconnects"
"$RUN" sc stop tovix8svc >/dev/null 2>&1
wait_for "the service stopped" service_state 1
wait_for "the service's channel gone" dump_lacks "initiator=0 "
"$RUN" "$SVC" -console >"$WORK/console.out" 2>&1 &
CONSOLE=$!
BG_PIDS+=($CONSOLE)
wait_for "the console service registered" dump_has "registered=1 initiator=0 "
sim_ctl unplug 1 >/dev/null || fail "unplug (console)"
wait_for "the console service closing its channel" dump_lacks "initiator=0 "
sim_ctl plug T8-0001 >/dev/null || fail "plug (console)"
wait_for "the console service reopening" dump_has "registered=1 initiator=0 "
kill -9 "$CONSOLE"

log "passed"
exit 0
