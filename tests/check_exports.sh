#!/bin/sh
# The library's dynamic symbol table holds exactly the functions zylisp.h
# declares, and nothing else of ours.
lib="$1"; header="$2"
exported=$(nm -D --defined-only "$lib" | awk '{print $3}' | sed 's/@.*//' | sort -u)
declared=$(grep -o 'Zyl_[A-Za-z_]*(' "$header" | tr -d '(' | sort -u)
if [ "$exported" != "$declared" ]; then
  echo "exported symbols differ from the header:"
  echo "$exported" > /tmp/zyl_exported.$$; echo "$declared" > /tmp/zyl_declared.$$
  diff /tmp/zyl_declared.$$ /tmp/zyl_exported.$$
  rm -f /tmp/zyl_exported.$$ /tmp/zyl_declared.$$
  exit 1
fi
echo "$(echo "$exported" | wc -l) exported functions, all declared"
