#!/usr/bin/env bash
# Installs the build into a temporary prefix and, as a packager does, with
# DESTDIR; then uses the installation as its users would: a C client built
# with pkg-config and with find_package, the installed velkoisp, the manual
# pages and the shell completion.
#   install_test.sh BUILD-DIR SOURCE-DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" > "$work/install.log"
library=$(find "$prefix" -name 'libzylisp.so.*.*.*')
libdir=$(dirname "$library")
[ -L "$libdir/libzylisp.so.1" ] && [ -L "$libdir/libzylisp.so" ] || fail "SONAME links missing"
readelf -d "$library" | grep -q 'SONAME.*\[libzylisp\.so\.1\]' || fail "SONAME is not libzylisp.so.1"
[ -f "$prefix/include/zylisp.h" ] || fail "zylisp.h not installed"
[ ! -e "$prefix/include/adapter_commands.h" ] || fail "internal header installed"
for program in velkoisp zylsim; do
  [ -x "$prefix/bin/$program" ] || fail "$program not installed"
done
"$source/tests/check_runpaths.sh" "$prefix" > /dev/null || fail "an installed file loads from a relative folder"

# A client of the library: without arguments it prints its usage and ends
# with status 2, which shows that it was built, linked and loaded. A library
# built with the sanitizers needs clients built with them.
client=$source/examples/program_chip.c
sanitize=""
if readelf -d "$library" | grep -q 'NEEDED.*libasan'; then
  sanitize="-fsanitize=address,undefined"
fi
run_client() {
  local status=0
  LD_LIBRARY_PATH=$libdir "$1" > /dev/null 2>&1 || status=$?
  [ "$status" -eq 2 ] || fail "$1 ended with status $status"
}
export PKG_CONFIG_PATH=$libdir/pkgconfig
[ "$(pkg-config --modversion zylisp)" = "$(sed -n 's/^project(zylisp VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")" ] ||
  fail "pkg-config version"
# shellcheck disable=SC2046
cc -std=c99 $sanitize "$client" -o "$work/pkgconfig_client" $(pkg-config --cflags --libs zylisp)
run_client "$work/pkgconfig_client"

mkdir "$work/cmake_client"
cp "$client" "$work/cmake_client/"
cat > "$work/cmake_client/CMakeLists.txt" << 'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(client C)
find_package(zylisp 1 REQUIRED)
add_executable(client program_chip.c)
target_link_libraries(client PRIVATE zylisp::zylisp)
CMAKE
cmake -S "$work/cmake_client" -B "$work/cmake_client/build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_FLAGS="$sanitize" > /dev/null
cmake --build "$work/cmake_client/build" > /dev/null
run_client "$work/cmake_client/build/client"

# The installed tool finds the installed library by itself.
status=0
"$prefix/bin/velkoisp" --help > "$work/help.txt" 2>&1 || status=$?
[ "$status" -eq 255 ] || fail "velkoisp --help ended with status $status"
grep -q '^Required Options:' "$work/help.txt" || fail "velkoisp --help printed no help"

# The installed Python package and its command line, run by the system's
# interpreter from the package's folder with no environment at all: the
# package finds the library installed with it. The staged install below
# too.
use_python_package() {
  local init
  init=$(find "$1" -path '*/zylisp/__init__.py' | head -n 1)
  [ -n "$init" ] || fail "Python package not installed under $1"
  [ -n "$sanitize" ] && return
  (cd "$(dirname "$(dirname "$init")")" && env -i /usr/bin/python3 -m zylisp list-devices) \
    > "$work/devices.txt" 2>&1 || fail "python3 -m zylisp list-devices under $1: $(cat "$work/devices.txt")"
  grep -q '24C16' "$work/devices.txt" || fail "python3 -m zylisp list-devices named no 24C16"
}
use_python_package "$prefix"

pages=(velkoisp zylsim)
[ -f "$prefix/share/man/man1/zylisp-gui.1" ] && pages+=(zylisp-gui)
for page in "${pages[@]}"; do
  man --warnings -l "$prefix/share/man/man1/$page.1" > /dev/null 2> "$work/man.err"
  [ ! -s "$work/man.err" ] || fail "$page.1: $(cat "$work/man.err")"
done

completion=$prefix/share/bash-completion/completions/velkoisp
offered=$(bash -c 'source "$1"; COMP_WORDS=(velkoisp --verif); COMP_CWORD=1; _velkoisp; echo "${COMPREPLY[*]}"' _ "$completion")
[ "$offered" = "--verifyeeprom=" ] || fail "completion offered '$offered'"

DESTDIR=$work/staged cmake --install "$build" --prefix /usr > /dev/null
[ -x "$work/staged/usr/bin/velkoisp" ] || fail "DESTDIR install"
find "$work/staged/usr" -name zylisp.pc | grep -q . || fail "DESTDIR install has no zylisp.pc"
use_python_package "$work/staged/usr"
echo "installed and used: OK"
