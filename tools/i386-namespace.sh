#!/bin/sh
# Runs a command where Linux's 32-bit x86 programs (Wine's 32-bit loader) run
# under our own qemu-i386. kf starts it as the first process of a private user
# and mount namespace (unshare --user --map-root-user --mount --fork), so the
# binfmt_misc instance mounted here and its handler exist for this namespace
# only: the machine's own binfmt_misc, and every other Wine user, stay as they are.
#
#   i386-namespace.sh QEMU_I386 EMPTY_FOLDER COMMAND [ARG...]
set -eu
qemu=$1 folder=$2
shift 2
mount -t binfmt_misc binfmt_misc "$folder"
# qemu's own registration for i386 ELF executables. F opens the interpreter
# now, so it is found from any mount or root the programs see later.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
printf ':qemu-i386:M::%s:%s:%s:F\n' "$magic" "$mask" "$qemu" > "$folder/register"
exec "$@"
