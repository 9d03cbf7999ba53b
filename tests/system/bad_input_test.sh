#!/usr/bin/env bash
# Broken platform files and a missing archive folder: the service reports
# what it must, keeps running, and recovers once the files are mended.
. "$(dirname "$0")/lib.sh"

make_vehicle 2
echo '{"VEH_ODOMETER": {"namedb": "VEH", "type": 3, "val' >"$SIM/sysdb.json"
mkdir -p "$SIM/cmd"
echo '{"list": [' >"$SIM/cmd/system.data_logger.json"

start_service --systemctl ok
wait_log "Getting archive config"

# A readable document: both instances configure although no key is known.
echo '{"list": [{"name": "VEH_ODOMETER", "save_to_db": true}]}' | install_config
wait_log "Max size:10485760 Period:1800 (archive)"

# The system database mended and the configuration reloaded: keys return.
"$KVO_SIM" --dir "$T/mended" init >/dev/null
"$KVO_SIM" --dir "$T/mended" power 2 >/dev/null
mv "$T/mended/sysdb.json" "$SIM/sysdb.json"  # At once, in power state 2.
wait_log "Current power state:2 Prev power state:0"
signal_service USR1
wait_count "Added key VEH_ODOMETER to the list" 2
wait_log "Copied 1 entries"

# An archive folder that vanished: the move fails and is reported.
rm -rf "$DATA/archive/stats"
signal_service USR2
wait_log "Error moving tar file to NV (mv /var/volatile/kvo/stats.tar /var/data/kvo/archive/stats/0.tar:256)"
wait_log "Finished backing up archive (archive)"
has_prio_line "local0.info Error creating tar" || fail "no 'Error creating tar'"
stop_service INT
[ "$STATUS" = 0 ] || fail "exit status $STATUS"
# Nothing came of the broken files: two passes, keys only after the mend.
[ "$(count_log "Updating archive config (stats)")" = 2 ] \
  || fail "configured from an unreadable document"
[ "$(count_log "Added key VEH_ODOMETER to the list")" = 2 ] \
  || fail "a key was added from a broken sysdb"
[ "$(service_log | grep -m1 "Current power state")" = \
  "Current power state:2 Prev power state:0" ] \
  || fail "a power state was read from a broken sysdb"
echo "bad input: ok"
