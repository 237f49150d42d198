#!/bin/sh
# What the built DLLs export and import, read from their PE headers.
# usage: check_dll.sh OBJDUMP ARCH KINFOLD_DLL TAKECMD_DLL VERSION
set -u
objdump=$1 arch=$2 plugin=$3 host=$4 version=$5
fail=0
check() { # description, command...
  desc=$1; shift
  if "$@"; then echo "ok   $desc"; else echo "FAIL $desc"; fail=1; fi
}
pe=$("$objdump" -p "$plugin")
exports=$(printf '%s\n' "$pe" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{print $NF} t&&/^$/{t=0}')
imports=$(printf '%s\n' "$pe" | awk '/DLL Name:/{dll=$3} /^[ \t]+[0-9a-f]+[ \t]+[0-9]+[ \t]+[^ \t]+$/{if(dll!="")print dll": "$3}')
dlls=$(printf '%s\n' "$pe" | awk '/DLL Name:/{print tolower($3)}' | sort -u)

if [ "$arch" = x86 ]; then clver='?_clver$@@YGHPA_W@Z'; else clver='?_clver$@@YAHPEA_W@Z'; fi
for name in GetPluginInfo InitializePlugin ShutdownPlugin "$clver" $(cat "$(dirname "$0")/expected_exports.txt"); do
  check "exports $name" sh -c "printf '%s\n' \"\$1\" | grep -qxF -- \"\$2\"" _ "$exports" "$name"
done
count=$(printf '%s\n' "$exports" | grep -c .)
expected=$((4 + $(grep -c . "$(dirname "$0")/expected_exports.txt")))
check "exports exactly $expected names (has $count)" test "$count" -eq "$expected"

allowed='^(takecmd\.dll|kernel32\.dll|user32\.dll|advapi32\.dll|psapi\.dll|msvcrt\.dll|ntdll\.dll)$'
check "imports only system DLLs and TakeCmd.dll: $(echo $dlls)" sh -c "printf '%s\n' \"\$1\" | grep -qvE '$allowed' && exit 1 || exit 0" _ "$dlls"
takecmd=$(printf '%s\n' "$imports" | grep -i '^takecmd.dll: ' | sed 's/^[^:]*: //' | sort)
check "imports from TakeCmd.dll under plain names: $(echo $takecmd)" sh -c "printf '%s\n' \"\$1\" | grep -q '@' && exit 1; test -n \"\$1\"" _ "$takecmd"
for name in $takecmd; do
  hostexports=$("$objdump" -p "$host" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{print $NF} t&&/^$/{t=0}')
  check "stand-in TakeCmd.dll exports $name" sh -c "printf '%s\n' \"\$1\" | grep -qxF \"\$2\"" _ "$hostexports" "$name"
done
strings -e l "$plugin" > /tmp/kf_strings.$$
for s in "Kinfold plugin for Take Command" "$version.0" "Kinfold-$arch.dll" "Kinfold plugin" "$version.0  ($arch)"; do
  check "version string '$s'" grep -qF -- "$s" /tmp/kf_strings.$$
done
rm -f /tmp/kf_strings.$$
exit $fail
