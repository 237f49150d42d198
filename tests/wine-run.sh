#!/bin/sh
# Runs a Windows test program under Wine with the loader of its architecture:
# Debian's "wine" is the 32-bit loader; 64-bit programs need wine64.
arch=$1; shift
export WINEDEBUG=${WINEDEBUG:--all}
if [ "$arch" = x64 ]; then
  exec /usr/lib/wine/wine64 "$@"
fi
exec wine "$@"
