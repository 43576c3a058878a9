#!/usr/bin/env bash
# Eight emulated adapters programmed at once by examples/eight_sessions, one
# session and thread each: a paced 24C1024 that keeps its session busy for
# the whole run, beside I2C, SPI and Microwire parts of other sizes. The
# example must end with status 0, and each chip image zylsim writes back at
# its end must equal the random file programmed into it.
#   eight_sessions_test.sh EIGHT_SESSIONS ZYLSIM
set -euo pipefail
example=$1
zylsim=$2
work=$(mktemp -d)
export XDG_CONFIG_HOME=$work/config
mkdir "$work/config"

# device, size in bytes, further zylsim options
adapters=(
  "24C1024 131072 --pace=1"
  "24C16 2048"
  "24C256 32768"
  "25C64 8192"
  "25HP512 65536"
  "25C040 512"
  "93C46 128"
  "93C86 2048"
)

pipes=()
pids=()
cleanup() {
  local fd
  for fd in "${pipes[@]}"; do exec {fd}>&-; done
  [ ${#pids[@]} -eq 0 ] || wait "${pids[@]}" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  local f
  for f in "$work"/err*; do
    [ ! -s "$f" ] || { echo "zylsim ${f##*/err}:"; cat "$f"; }
  done
  exit 1
}

# Each zylsim reads its standard input from a FIFO this script holds open
# (closing it ends the program) and writes its output, first of all the
# pseudo-terminal's path, into another that the script reads.
specs=()
for i in "${!adapters[@]}"; do
  read -r device size options <<< "${adapters[$i]}"
  head -c "$size" /dev/urandom > "$work/data$i.bin"
  mkfifo "$work/in$i" "$work/out$i"
  # shellcheck disable=SC2086
  "$zylsim" --device="$device" --image="$work/chip$i.bin" $options \
    < "$work/in$i" > "$work/out$i" 2> "$work/err$i" &
  pids+=($!)
  exec {fd}> "$work/in$i"
  pipes+=("$fd")
  exec {out}< "$work/out$i"
  pipes+=("$out")
  read -r -t 120 port <&"$out" || fail "zylsim --device=$device printed no port"
  specs+=("$device:$port:$work/data$i.bin")
done

status=0
"$example" "${specs[@]}" > "$work/result.txt" 2>&1 || status=$?
cat "$work/result.txt"
[ "$status" -eq 0 ] || fail "eight_sessions ended with status $status"

for fd in "${pipes[@]}"; do exec {fd}>&-; done
pipes=()
for i in "${!pids[@]}"; do
  wait "${pids[$i]}" || fail "zylsim ${adapters[$i]} ended with status $?"
done
pids=()
for i in "${!adapters[@]}"; do
  cmp -s "$work/data$i.bin" "$work/chip$i.bin" || fail "chip of ${adapters[$i]} does not hold its file"
done
echo "eight sessions: OK"
