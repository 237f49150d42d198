# Kinfold's Wine and 32-bit half of kf, sourced by it: running 32-bit code,
# the Wine prefix, and the one Wine server kf keeps for it. Expects root,
# state, WINEPREFIX and say() from kf.
wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
# The Wine server kf starts outlives each call by this many idle seconds, so
# a warm "kf run" costs a fraction of a second instead of Wine's start-up.
wine_idle=${KF_WINE_IDLE:-600}
qemu_dir=$root/build/qemu

# 32-bit code. A kernel that runs it by itself is used directly. Otherwise
# Debian's backported qemu-user runs Wine's 32-bit loader, registered with
# binfmt_misc in a private user and mount namespace only: other Wine users of
# the machine never see the handler.
x86_via=""      # native, qemu or none, once find_x86 has run
x86_why=""

# qemu-user 10 from the backports suite (Debian 12's own 7.2 takes minutes per
# process), fetched with a private apt state so the machine's sources, lists
# and installed packages stay as they are. Cached in the build tree.
fetch_qemu() {
  [ -x "$qemu_dir/usr/bin/qemu-i386" ] && return 0
  local codename archive apt
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  # The Debian archive this machine already uses, read from its own apt sources.
  archive=$(apt-get indextargets --no-release-info --format '$(REPO_URI) $(RELEASE)' 2>/dev/null |
            awk -v s="$codename" '$2 == s { print $1; exit }')
  if [ -z "$codename" ] || [ -z "$archive" ]; then
    x86_why="no Debian archive for '$codename' in this machine's apt sources"
    return 1
  fi
  say "fetching qemu-user from $codename-backports into $qemu_dir (once)"
  rm -rf "$qemu_dir/apt" && mkdir -p "$qemu_dir/apt/sources" "$qemu_dir/apt/lists/partial" \
    "$qemu_dir/apt/cache/archives/partial"
  : > "$qemu_dir/apt/status"
  printf 'Types: deb\nURIs: %s\nSuites: %s-backports\nComponents: main\nSigned-By: %s\n' \
    "$archive" "$codename" /usr/share/keyrings/debian-archive-keyring.gpg \
    > "$qemu_dir/apt/sources/backports.sources"
  apt=(apt-get -qq -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$qemu_dir/apt/sources"
       -o Dir::State::Lists="$qemu_dir/apt/lists" -o Dir::State::Status="$qemu_dir/apt/status"
       -o Dir::Cache="$qemu_dir/apt/cache" -o APT::Sandbox::User=root)
  if ! (cd "$qemu_dir/apt" && "${apt[@]}" update && "${apt[@]}" download "qemu-user/$codename-backports") >/dev/null 2>&1 ||
     ! dpkg-deb --fsys-tarfile "$qemu_dir"/apt/qemu-user_*.deb | tar -x -C "$qemu_dir" ./usr/bin/qemu-i386; then
    x86_why="qemu-user could not be fetched from $archive ($codename-backports)"
    return 1
  fi
  rm -rf "$qemu_dir/apt"   # the program is the cache; the package and lists are not needed
}

# Runs a command with 32-bit Linux programs working, the way find_x86 chose.
x86_exec() {
  if [ "$x86_via" = qemu ]; then
    unshare --user --map-root-user --mount --fork \
      "$root/tools/i386-namespace.sh" "$qemu_dir/usr/bin/qemu-i386" "$qemu_dir/binfmt" "$@"
  else
    "$@"
  fi
}

# Runs a command for one architecture's build: x64 needs no namespace.
as_arch() {
  local arch=$1; shift
  if [ "$arch" = x86 ]; then x86_exec "$@"; else "$@"; fi
}

find_x86() {
  [ -n "$x86_via" ] && return 0
  local want=${KF_X86:-auto}
  x86_via=none
  if [ "$want" = off ]; then x86_why="KF_X86=off"; return 0; fi
  if [ "$want" != qemu ] && "$wine32" --version >/dev/null 2>&1; then
    x86_via=native
    return 0
  fi
  if [ "$want" = native ]; then x86_why="this kernel cannot run 32-bit programs"; return 0; fi
  if ! unshare --user --map-root-user --mount true 2>/dev/null; then
    x86_why="this kernel cannot run 32-bit programs and allows no user namespaces"
    return 0
  fi
  fetch_qemu || return 0
  mkdir -p "$qemu_dir/binfmt"
  x86_via=qemu
  if ! x86_exec "$wine32" --version >/dev/null 2>&1; then
    x86_via=none
    x86_why="Wine's 32-bit loader does not start under $qemu_dir/usr/bin/qemu-i386"
  fi
}

# ---------------------------------------------------------------------------
# Wine. One prefix of our own, with the null graphics driver so that windows
# work without a display. kf starts one Wine server for it and leaves it
# running between calls; it ends by itself after $wine_idle idle seconds, or
# with "./kf stop". Two flock(1) locks keep the books:
# - users.lock: every kf that uses Wine holds it shared for as long as it runs;
#   stopping takes it exclusively without waiting, so a server someone uses is
#   left running.
# - server.lock: held by the server kf started (it inherits the descriptor),
#   so it is free exactly when no server of kf's is running.
# The start lock (kf's descriptor 8) makes creating the prefix, starting and
# stopping one kf at a time. Descendants that may outlive kf get neither
# descriptor, so only kf itself and its server hold the locks.
server_started=0
users_lock=$state/users.lock
server_lock=$state/server.lock

without_locks() { "$@" 8>&- 9>&-; }

# Whether the running server is the one kf started.
server_ours() { ! flock -n "$server_lock" true; }

# Whether a Wine server runs for our prefix, whoever started it: it holds a
# lock on "lock" in the server folder named after the prefix's device and inode.
# Ours counts even where lslocks cannot name that file.
server_running() {
  local name
  server_ours && return 0
  [ -d "$WINEPREFIX" ] || return 1
  name=$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))
  lslocks --noheadings --notruncate --output PATH 2>/dev/null | grep -q "/$name/lock\$"
}

use_wine() { exec 9>>"$users_lock"; flock -s 9; }

make_prefix() {
  if [ ! -f "$WINEPREFIX/.kf-ready" ]; then
    # Made inside x86_exec wherever 32-bit code can run, so that its 32-bit
    # half (syswow64) is set up too, whichever build this call is for.
    find_x86
    say "creating the Wine prefix $WINEPREFIX (once)"
    rm -rf "$WINEPREFIX" && mkdir -p "$WINEPREFIX"
    without_locks x86_exec "$wine64" wineboot -i </dev/null >/dev/null 2>&1 || true
    without_locks "$wine64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1 || true
    without_locks wineserver -w || true
    touch "$WINEPREFIX/.kf-ready"
  elif [ "$x86_via" = native ] || [ "$x86_via" = qemu ]; then
    [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] && return 0
    # Made where 32-bit code could not run. wineboot adds the 32-bit half when
    # it starts a server itself and the prefix's time stamp says it is stale.
    if server_running && ! stop_wine; then
      say "x86 needs the 32-bit half of the Wine prefix: try again once the server is free (./kf stop)"
      return 0
    fi
    say "adding the 32-bit half to the Wine prefix (once)"
    rm -f "$WINEPREFIX/.update-timestamp"
    without_locks x86_exec "$wine64" wineboot -u </dev/null >/dev/null 2>&1 || true
    without_locks wineserver -w || true
  fi
}

# Marks this kf as a Wine user and makes sure the prefix and a server are
# there. Call with the start lock held.
start_wine() {
  use_wine
  make_prefix
  server_running && return 0
  # Started by us, detached from our output so that no pipe waits for it. A
  # server that is still going away (the one that made the prefix) makes the
  # start fail: then wait for it to end and start again.
  if ! without_locks flock "$server_lock" wineserver -p"$wine_idle" </dev/null >/dev/null 2>&1; then
    without_locks wineserver -w || true
    without_locks flock "$server_lock" wineserver -p"$wine_idle" </dev/null >/dev/null 2>&1 || true
  fi
  server_ours || { say "the Wine server did not start"; exit 1; }
  server_started=1
  # Warm up before anything with piped output starts (that can hang otherwise).
  without_locks "$wine64" wineboot </dev/null >/dev/null 2>&1 || true
}

# Stops our server when kf started it and no other kf uses it. Call with the
# start lock held; this kf stays a user (or becomes one) afterwards.
stop_wine() {
  local status=0
  server_running || return 0
  if ! server_ours; then
    say "the Wine server of $WINEPREFIX was not started by kf: left running"
    return 1
  fi
  # Our own shared lock would stand in the way: take the lock afresh.
  exec 9>>"$users_lock"
  if flock -n -x 9; then
    without_locks wineserver -k 2>/dev/null || true
    without_locks wineserver -w 2>/dev/null || true
    say "stopped the Wine server of $WINEPREFIX"
  else
    say "the Wine server is in use by another kf: left running"
    status=1
  fi
  flock -s 9
  return $status
}

loader() {
  if [ "$1" = x64 ]; then echo "$wine64"; else echo "$wine32"; fi
}
