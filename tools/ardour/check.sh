#!/usr/bin/env bash
# Loads Zorv's presets through Debian's Ardour (7.3), headless, with the
# plug-in installed and scanned in a home of this check's own, so the
# user's ~/.vst3 and Ardour settings are left alone; with the LV2 bundle as
# well, the LV2 build's presets too.
#
#   tools/ardour/check.sh BUILD/Zorv.vst3 [BUILD/Zorv.lv2]
set -euo pipefail
bundle="$(realpath "${1:?usage: check.sh Zorv.vst3 [Zorv.lv2]}")"
here="$(cd "$(dirname "$0")" && pwd)"
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/.vst3"
cp -r "$bundle" "$home/.vst3/"
# Ardour takes a scan as current only when its cache is newer than the
# module; a copy made this second would tie with the scan made next.
find "$home/.vst3/Zorv.vst3" -exec touch -d "1 minute ago" {} +
export HOME="$home" XDG_CACHE_HOME="$home/.cache" XDG_CONFIG_HOME="$home/.config"
LD_LIBRARY_PATH=/usr/lib/ardour7 /usr/lib/ardour7/ardour-vst3-scanner -q "$home/.vst3/Zorv.vst3"
if [ -n "${2:-}" ]; then
  mkdir -p "$home/.lv2"
  ln -s "$(realpath "$2")" "$home/.lv2/Zorv.lv2"
  export LV2_PATH="$home/.lv2:/usr/lib/lv2"
fi
# A hang is the fault this looks for: give up after a minute.
timeout 60 ardour7-lua "$here/load_presets.lua" "$home/session"
