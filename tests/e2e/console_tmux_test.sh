#!/bin/sh
# The pause prompt on a real console: kfshell runs KINFOLD under Wine inside a
# tmux pane, keys go in with send-keys and the screen is read back with
# capture-pane. Exit 77 (skipped) when tmux or the KINFOLD command is missing.
#
#   console_tmux_test.sh BUILD_DIR ARCH
build=$1
arch=${2:-x64}
here=$(cd "$(dirname "$0")/.." && pwd)
runner="$here/wine-run.sh $arch"
export WINEDEBUG=${WINEDEBUG:--all}

if ! command -v tmux >/dev/null 2>&1; then
    echo "SKIP: tmux is not installed"
    exit 77
fi
# A tmux server of this run's own, on a socket in a private folder: runs in
# parallel (or another developer's) never share it. One session holds the
# server for the whole run, so ending a case's session never stops the server
# while the next case's session starts (that race gave "server exited
# unexpectedly" under load). Nothing started here gets descriptor 9 (9>&-).
tmpdir=$(mktemp -d)
tm() { tmux -S "$tmpdir/tmux.sock" "$@" 9>&-; }
trap 'tm kill-server 2>/dev/null; rm -rf "$tmpdir"' EXIT
trap 'exit 1' INT TERM

# A kfshell waiting on a pipe keeps the Wine server and its system processes
# up for the whole run. Without one, a run with no server kept by kf had Wine
# start and stop around every case: a cold start in a pane can take over a
# minute on a loaded machine, and a case's kfshell started as a server came or
# went could get no console at all (no standard handles, output lost). The
# holder reads from a FIFO whose only writer is this script's descriptor 9,
# so it ends when this script ends, however it ends. Its prompt shows once
# Wine is up.
mkfifo "$tmpdir/hold.in"
exec 9<>"$tmpdir/hold.in"
(cd "$build" && exec $runner kfshell.exe <"$tmpdir/hold.in" >"$tmpdir/hold.out" 2>&1 9>&-) &
holder=$!
i=0
until grep -qF 'kfshell> ' "$tmpdir/hold.out" 2>/dev/null; do
    i=$((i + 1))
    if ! kill -0 $holder 2>/dev/null || [ $i -gt 2400 ]; then
        break
    fi
    sleep 0.1
done

if ! (cd "$build" && $runner kfshell.exe -c 'kinfold /?' </dev/null 2>&1 9>&-) | grep -q 'List descendants'; then
    echo "SKIP: kfshell.exe in $build does not run KINFOLD (command not built yet)"
    exit 77
fi

# The cases count on the tree under services.exe staying as it is. Wine starts
# the services marked for boot with services.exe, but RpcSs only when a program
# first asks for it, at a moment no case controls: under load a case printed
# the tree before it came, one line short, and its second page never showed.
# Started here, it is in place before the first case and stays.
(cd "$build" && $runner sc.exe start RpcSs </dev/null >/dev/null 2>&1 9>&-)
if ! (cd "$build" && $runner sc.exe query RpcSs </dev/null 2>&1 9>&-) | grep -q 'RUNNING\|START_PENDING'; then
    echo "FAIL: Wine's RpcSs service does not start"
    exit 1
fi

tm new-session -d -s hold 'sleep 86400'
i=0
until tm has-session -t hold 2>/dev/null; do
    i=$((i + 1))
    if [ $i -gt 600 ]; then
        echo "FAIL: the tmux server does not answer"
        exit 1
    fi
    sleep 0.1
done
session=""
cases=0
failures=0

fail() {
    echo "FAIL: $*"
    echo "----- screen -----"
    tm capture-pane -p -t "$session" 2>/dev/null
    echo "------------------"
    failures=$((failures + 1))
}

screen() { tm capture-pane -p -t "$session"; }
coloured_screen() { tm capture-pane -e -p -t "$session"; }

# Polls the screen until the fixed text shows; gives up after a minute, which
# only a hang reaches.
wait_for() {
    i=0
    while [ $i -lt 600 ]; do
        if screen | grep -qF -- "$1"; then
            return 0
        fi
        sleep 0.1
        i=$((i + 1))
    done
    return 1
}

# Polls until the screen changes from what it was. What a check reads after
# this is waited for on its own (the next prompt, or KF-DONE).
wait_change() {
    old=$1
    i=0
    while [ $i -lt 600 ]; do
        now=$(screen)
        if [ "$now" != "$old" ]; then
            return 0
        fi
        sleep 0.1
        i=$((i + 1))
    done
    return 1
}

# Starts kfshell with one command line, or with the given arguments, in a
# fresh pane of 100 x 30; the previous case's session goes first.
start() {
    [ -n "$session" ] && tm kill-session -t "$session" 2>/dev/null
    cases=$((cases + 1))
    session=case$cases
    args=${2:-"-c '$1'"}
    tm new-session -d -s "$session" -x 100 -y 30 \
        "cd '$build' && $runner kfshell.exe $args; echo KF-DONE rc=\$?; sleep 600"
}

result_code() {
    screen | sed -n 's/^KF-DONE rc=\([0-9]*\).*/\1/p'
}

prompt="── Press a key to continue ──"
prompt_count() { screen | grep -cF -- "$prompt"; }

children() { screen | grep -c '[├└]──'; }

# Wine's console in a terminal holds back an escape sequence until more input
# comes, and a lone ESC for good: send-keys Escape Escape gives one Esc key,
# and an arrow key arrives once the key after it does.
send_escape() { tm send-keys -t "$session" Escape Escape; }

# --- Space and "c": pages, the prompt cleared each time --------------------
start 'kinfold /P,3 services.exe'
if ! wait_for "$prompt"; then
    fail "no pause prompt"
else
    screen | grep -qxF "   $prompt" || fail "prompt line is not \"   $prompt \""
    # Executable names in the highlight colour reach the terminal as SGR codes.
    coloured_screen | grep -q "$(printf '\033')\[[39][0-7]m" || fail "no colour on the terminal"
    first=$(screen)
    tm send-keys -t "$session" Space
    wait_change "$first" || fail "Space did not continue"
    wait_for "$prompt" || fail "no second prompt"
    [ "$(prompt_count)" = 1 ] || fail "the first prompt was not cleared"
    tm send-keys -t "$session" c
    wait_for "KF-DONE" || fail "c did not let the output run to the end"
    [ "$(result_code)" = 0 ] || fail "result after c: $(result_code), want 0"
    [ "$(prompt_count)" = 0 ] || fail "a prompt stayed on the screen"
fi

# --- A digit shortens the next page; an arrow key continues with a full one --
start 'kinfold /P,3 services.exe'
if ! wait_for "$prompt"; then
    fail "no pause prompt before the digit"
else
    before=$(children)
    first=$(screen)
    tm send-keys -t "$session" 1
    wait_change "$first" || fail "1 did not continue"
    wait_for "$prompt" || fail "no prompt after 1"
    [ "$(children)" = $((before + 1)) ] || fail "1 gave $(( $(children) - before )) lines, want 1"
    before=$(children)
    tm send-keys -t "$session" Up
    send_escape
    wait_for "KF-DONE" || fail "the output did not end after an arrow key and Esc"
    [ "$(children)" -gt "$before" ] || fail "the arrow key did not continue"
    [ "$(prompt_count)" = 0 ] || fail "a prompt stayed on the screen"
fi

# --- Esc stops silently -----------------------------------------------------
start 'kinfold /P,3 services.exe'
if ! wait_for "$prompt"; then
    fail "no pause prompt before Esc"
else
    lines=$(screen | grep -c .)
    send_escape
    wait_for "KF-DONE" || fail "Esc did not stop the output"
    [ "$(result_code)" = 3 ] || fail "result after Esc: $(result_code), want 3"
    [ "$(prompt_count)" = 0 ] || fail "the prompt was not cleared after Esc"
    screen | grep -qF '^C' && fail "Esc wrote the break notice"
    [ "$(screen | grep -c .)" = "$lines" ] || fail "lines were printed after Esc"
fi

# --- Ctrl-C reaches the handler: "^C" in the notice colour, then the old one --
# The help text of a second command shows whether the colour was put back.
start '' "-c 'kinfold /P,3 services.exe' -c 'kinfold /?'"
if ! wait_for "$prompt"; then
    fail "no pause prompt before Ctrl-C"
else
    tm send-keys -t "$session" C-c
    wait_for "KF-DONE" || fail "Ctrl-C did not stop the output"
    screen | grep -qxF ' ^C' || fail "no \" ^C \" notice"
    [ "$(screen | grep -c 'Task Scheduler\|Event Log')" = 0 ] || fail "lines were printed after Ctrl-C"
    esc=$(printf '\033')
    coloured_screen | grep -q "${esc}\[[39][0-7]m ^C" || fail "the notice is not coloured"
    between=$(coloured_screen | tr '\n' ' ' | sed -n 's/.* ^C\(.*\)List descendants.*/\1/p')
    case "$between" in
    *"${esc}[39m"*) ;;
    *) fail "the colour was not put back after the notice" ;;
    esac
fi

# --- A coloured tree reads on the screen as the plain one does ---------------
# The same command with its output in a file (not a console, so not coloured)
# gives the lines each screen line must equal: pieces written out of order
# around a coloured name show here. Thread counts and memory change from one
# run to the next, so the columns shown are ones a process keeps; the PIDs
# match because the holder keeps one Wine server up for both runs. No /Z:
# services.exe's parent has ended, and whether its PID belongs to a younger
# process (which cuts the link) can change between the two runs.
tree='kinfold services.exe /c /t:s'
(cd "$build" && $runner kfshell.exe -c "$tree" </dev/null 2>&1 9>&-) | tr -d '\r' >"$tmpdir/plain"
start "$tree"
if ! wait_for "KF-DONE"; then
    fail "the coloured tree did not end"
elif ! screen | sed '/^KF-DONE/,$d' | diff "$tmpdir/plain" - >"$tmpdir/diff"; then
    fail "the screen differs from the plain output (< plain, > screen):
$(cat "$tmpdir/diff")"
else
    # Exactly the executable names are coloured, each in one piece: the word
    # after the PID.
    esc=$(printf '\033')
    names=$(LC_ALL=C sed -n 's/^[^0-9A-F]*[0-9A-F]*  \([^ ]*\)  .*/\1/p' "$tmpdir/plain")
    coloured=$(coloured_screen | LC_ALL=C grep -o "${esc}\[[39][0-7]m[^${esc}]*" | sed "s/^${esc}\[[0-9]*m//")
    [ -n "$names" ] && [ "$coloured" = "$names" ] ||
        fail "coloured pieces: $(echo "$coloured" | paste -sd '|'); want the names: $(echo "$names" | paste -sd '|')"
fi

# --- A time-out continues by itself ---------------------------------------
start 'kinfold /P:250M,3 services.exe'
wait_for "KF-DONE" || fail "the time-out did not continue"
[ "$(result_code)" = 0 ] || fail "result after time-outs: $(result_code), want 0"
[ "$(prompt_count)" = 0 ] || fail "a prompt stayed after a time-out"

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all console checks passed"
exit 0
