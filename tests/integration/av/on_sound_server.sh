#!/usr/bin/env bash
# on_sound_server.sh pulseaudio|pipewire COMMAND...: runs COMMAND against that sound server of
# scripts/test (PULSE_SERVER for PulseAudio, MDL_PIPEWIRE_PULSE_SERVER for PipeWire).
set -euo pipefail
server=$1
shift
case "$server" in
    pulseaudio) address=${PULSE_SERVER:-} ;;
    pipewire) address=${MDL_PIPEWIRE_PULSE_SERVER:-} ;;
    *) echo "unknown sound server '$server'" >&2; exit 2 ;;
esac
if [ -z "$address" ] || [ -z "${DISPLAY:-}" ]; then
    echo "needs the display and the $server server of scripts/test" >&2
    exit 1
fi
export PULSE_SERVER=$address
exec "$@"
