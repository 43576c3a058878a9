#!/bin/sh
# No ELF file under the folder searches an empty or relative folder for its
# libraries ("" is the current folder); only $ORIGIN-relative entries and
# absolute folders are allowed.
status=0
for f in $(find "$1" -type f \( -perm -u+x -o -name '*.so*' \) ! -name '*.sh' ! -name '*.py'); do
  head -c 4 "$f" 2>/dev/null | grep -q 'ELF' || continue
  paths=$(readelf -d "$f" 2>/dev/null | sed -n 's/.*(R[UN]*PATH).*\[\(.*\)\]/\1/p')
  [ -n "$paths" ] || continue
  # Each entry on a line of its own; an empty entry is an empty line.
  if printf '%s\n' "$paths" | tr ':' '\n' | grep -qvE '^(/|\$ORIGIN)'; then
    echo "$f: unsafe library search path [$paths]"
    status=1
  fi
done
[ $status -eq 0 ] && echo "no empty or relative library search paths under $1"
exit $status
