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
sleeper=""  # the process an /END case started (stop_sleeper comes with the cases)
trap '[ -n "$sleeper" ] && stop_sleeper; tm kill-server 2>/dev/null; rm -rf "$tmpdir"' EXIT
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

# The help text's first line: in the Ctrl-C case the second command's output
# must follow the break notice directly.
(cd "$build" && $runner kfshell.exe -c 'kinfold /?' </dev/null 2>&1 9>&-) | tr -d '\r' >"$tmpdir/help"
if ! grep -q 'List descendants' "$tmpdir/help"; then
    echo "SKIP: kfshell.exe in $build does not run KINFOLD (command not built yet)"
    exit 77
fi
help_first=$(head -n 1 "$tmpdir/help")

# Wine starts the services marked for boot with services.exe, but RpcSs only
# when a program first asks for it, at a moment no case controls. Started
# here, it is one of the children under services.exe before the first case.
(cd "$build" && $runner sc.exe start RpcSs </dev/null >/dev/null 2>&1 9>&-)
if ! (cd "$build" && $runner sc.exe query RpcSs </dev/null 2>&1 9>&-) | grep -q 'RUNNING\|START_PENDING'; then
    echo "FAIL: Wine's RpcSs service does not start"
    exit 1
fi

# The paging cases need seven lines under services.exe: the empty line and
# three on the first page, a full page of three after it (so that "c" at the
# first prompt has a page left to skip). That is the root and five children.
# In a cold prefix the holder's prompt can show while Wine is still starting
# its boot services one after the other (PlugPlay was seen missing): wait until
# the children are there. Which processes they are does not matter; every
# case judges the lines it saw.
children_wanted=5
deadline=$(($(date +%s) + 120))
until [ "$(cd "$build" && $runner kfshell.exe -c 'kinfold services.exe /csv' </dev/null 2>/dev/null 9>&- |
           grep -c '^1,')" -ge $children_wanted ]; do
    if [ "$(date +%s)" -gt $deadline ]; then
        echo "FAIL: services.exe has fewer than $children_wanted children after two minutes; the cases need them:"
        (cd "$build" && $runner kfshell.exe -c 'kinfold services.exe' </dev/null 2>&1 9>&-)
        exit 1
    fi
    sleep 0.5
done

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
esc=$(printf '\033')

# The pane from its first line on, lines scrolled out of view included (the
# help text of the Ctrl-C case scrolls the tree away), without the rows below
# the last line written.
transcript() {
    tm capture-pane -p -S - -t "$session" |
        awk '{ row[NR] = $0 } $0 != "" { last = NR } END { for (i = 1; i <= last; i++) print row[i] }'
}
coloured_transcript() { tm capture-pane -e -p -S - -t "$session"; }

fail() {
    echo "FAIL: $*"
    echo "----- screen -----"
    transcript 2>/dev/null
    echo "------------------"
    failures=$((failures + 1))
}

prompt="── Press a key to continue ──"
prompt_line="   $prompt"

# Line arithmetic on a captured screen (text given as an argument).
count_lines() { if [ -n "$1" ]; then printf '%s\n' "$1" | wc -l; else echo 0; fi; }
first_lines() { printf '%s\n' "$2" | head -n "$1"; }
lines_after() { printf '%s\n' "$2" | tail -n +"$(($1 + 1))"; }
last_line() { printf '%s\n' "$1" | tail -n 1; }
without_last_line() { printf '%s\n' "$1" | sed '$d'; }
before_done() { printf '%s\n' "$1" | sed '/^KF-DONE rc=/,$d'; }
has_ended() { printf '%s\n' "$1" | grep -q '^KF-DONE rc=[0-9][0-9]*$'; }
result_of() { printf '%s\n' "$1" | sed -n 's/^KF-DONE rc=\([0-9]*\).*/\1/p'; }
# The prompt is the last thing written before a key is waited for; all of it
# on the last line means the plugin waits.
at_prompt() { [ "$(last_line "$1")" = "$prompt_line" ]; }
# Lines that are not tree lines (graphic, PID, two blanks, a name), and tree
# lines with the rest of a prompt behind them: a prompt left standing or not
# wholly cleared, a break notice, an empty or broken line.
not_tree_lines() {
    {
        printf '%s\n' "$1" | grep -v '^[ │├└─]*[0-9A-F][0-9A-F]*  [^ ]'
        printf '%s\n' "$1" | grep '──\([^0-9A-F]\|$\)'
    } | awk '!seen[$0]++'
}

# Polls until the pane differs from $1 and has come to rest: a prompt on its
# last line (the plugin waits for a key) or the KF-DONE line (the shell has
# ended). Leaves what it shows in $now; fails after a minute, which only a
# hang reaches.
settle() {
    i=0
    while [ $i -lt 600 ]; do
        now=$(transcript)
        if [ "$now" != "$1" ] && { has_ended "$now" || at_prompt "$now"; }; then
            return 0
        fi
        sleep 0.1
        i=$((i + 1))
    done
    return 1
}

# Polls until the shell has ended, past any prompt shown on the way; fails
# after a minute.
wait_end() {
    i=0
    while [ $i -lt 600 ]; do
        now=$(transcript)
        has_ended "$now" && return 0
        sleep 0.1
        i=$((i + 1))
    done
    return 1
}

# Judges what a key at a prompt added: $1 the page above that prompt, $2 the
# screen after the key, $3 the key's name. Nothing above the prompt may change,
# and what follows it must be tree lines (the prompt cleared, no notice) up to
# the next prompt or the end. Leaves the lines added in $added.
judge_added() {
    added=""
    n=$(count_lines "$1")
    if [ "$(first_lines "$n" "$2")" != "$1" ]; then
        fail "the lines above the prompt changed after $3"
        return 1
    fi
    if has_ended "$2"; then
        added=$(lines_after "$n" "$(before_done "$2")")
    else
        added=$(lines_after "$n" "$(without_last_line "$2")")
    fi
    if [ -n "$added" ] && [ -n "$(not_tree_lines "$added")" ]; then
        fail "after $3, lines that are not tree lines: $(not_tree_lines "$added" | paste -sd '|')"
        return 1
    fi
    return 0
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

# Waits for the first prompt: $first is the screen with it, $page the lines
# above it.
first_prompt() {
    if settle "" && at_prompt "$now"; then
        first=$now
        page=$(without_last_line "$first")
        return 0
    fi
    case "$(last_line "$now")" in
    *"Press a key"*) fail "prompt line is not \"$prompt_line \"" ;;
    *) fail "no pause prompt${1:+ $1}" ;;
    esac
    return 1
}

# Wine's console in a terminal holds back an escape sequence until more input
# comes, and a lone ESC for good: send-keys Escape Escape gives one Esc key,
# and an arrow key arrives once the key after it does.
send_escape() { tm send-keys -t "$session" Escape Escape; }

# --- Space: a full page follows, the prompt cleared; then "c" runs to the end --
start 'kinfold /P,3 services.exe'
if first_prompt; then
    # Executable names in the highlight colour reach the terminal as SGR codes.
    coloured_transcript | grep -q "${esc}\[[39][0-7]m" || fail "no colour on the terminal"
    tm send-keys -t "$session" Space
    if ! settle "$first"; then
        fail "Space did not continue"
    elif ! at_prompt "$now"; then
        fail "no second prompt after Space: it gave $(count_lines "$(lines_after "$(count_lines "$page")" "$(before_done "$now")")") lines, then the output ended (result $(result_of "$now")); want a page of 3, then a prompt"
    elif judge_added "$page" "$now" Space; then
        [ "$(count_lines "$added")" = 3 ] || fail "Space gave $(count_lines "$added") lines, want a page of 3"
        second=$now
        page=$(without_last_line "$second")
        tm send-keys -t "$session" c
        if ! settle "$second"; then
            fail "c did nothing"
        elif ! has_ended "$now"; then
            fail "c did not let the output run to the end"
        elif judge_added "$page" "$now" c; then
            [ "$(result_of "$now")" = 0 ] || fail "result after c: $(result_of "$now"), want 0"
        fi
    fi
fi

# --- "c" at the first prompt: the rest comes without another pause ----------
# With three lines or more left, a "c" taken for "a page more" would pause
# again after three of them.
start 'kinfold /P,3 services.exe'
if first_prompt "before c"; then
    tm send-keys -t "$session" c
    if ! settle "$first"; then
        fail "c did nothing"
    elif ! has_ended "$now"; then
        fail "c paused again"
    elif judge_added "$page" "$now" c; then
        [ "$(count_lines "$added")" -ge 3 ] ||
            fail "only $(count_lines "$added") lines came after the first page; the case needs 3 to tell c from a page"
        [ "$(result_of "$now")" = 0 ] || fail "result after c: $(result_of "$now"), want 0"
    fi
fi

# --- A digit shortens the next page; an arrow key continues with a full one --
start 'kinfold /P,3 services.exe'
if first_prompt "before the digit"; then
    tm send-keys -t "$session" 1
    if ! settle "$first"; then
        fail "1 did not continue"
    elif ! at_prompt "$now"; then
        fail "no prompt after 1"
    elif judge_added "$page" "$now" 1; then
        [ "$(count_lines "$added")" = 1 ] || fail "1 gave $(count_lines "$added") lines, want 1"
        second=$now
        page=$(without_last_line "$second")
        # The arrow key arrives with the Esc after it: a full page, then the
        # Esc answers the prompt after it, unless the tree ended first.
        tm send-keys -t "$session" Up
        send_escape
        if ! wait_end; then
            fail "the output did not end after an arrow key and Esc"
        elif judge_added "$page" "$now" "the arrow key"; then
            lines=$(count_lines "$added")
            if [ "$lines" = 0 ]; then
                fail "the arrow key did not continue"
            elif [ "$lines" -gt 3 ]; then
                fail "the arrow key gave $lines lines, want a page of 3 at most"
            elif [ "$lines" = 3 ] && [ "$(result_of "$now")" != 3 ]; then
                fail "after a full page the Esc did not stop the output: result $(result_of "$now"), want 3"
            elif [ "$lines" -lt 3 ] && [ "$(result_of "$now")" != 0 ]; then
                fail "the tree ended $lines lines after the arrow key, but the result is $(result_of "$now"), want 0"
            fi
        fi
    fi
fi

# --- Esc stops silently: the prompt line cleared, nothing below it ----------
start 'kinfold /P,3 services.exe'
if first_prompt "before Esc"; then
    send_escape
    if ! settle "$first" || ! has_ended "$now"; then
        fail "Esc did not stop the output"
    else
        [ "$(result_of "$now")" = 3 ] || fail "result after Esc: $(result_of "$now"), want 3"
        n=$(count_lines "$page")
        if [ "$(first_lines "$n" "$now")" != "$page" ]; then
            fail "the lines above the prompt changed after Esc"
        else
            after=$(lines_after "$n" "$(before_done "$now")")
            case "$after" in
            "") ;;
            *'^C'*) fail "Esc wrote the break notice" ;;
            *"Press a key"*) fail "the prompt was not cleared after Esc" ;;
            *) fail "lines were printed after Esc: $(printf '%s\n' "$after" | paste -sd '|')" ;;
            esac
        fi
    fi
fi

# --- Ctrl-C reaches the handler: "^C" in the notice colour, then the old one --
# The notice takes the prompt's line and the next command's output follows it
# at once: a tree line anywhere between means the output went on. The help
# text of that second command shows whether the colour was put back.
start '' "-c 'kinfold /P,3 services.exe' -c 'kinfold /?'"
if first_prompt "before Ctrl-C"; then
    tm send-keys -t "$session" C-c
    if ! settle "$first" || ! has_ended "$now"; then
        fail "Ctrl-C did not stop the output"
    else
        n=$(count_lines "$page")
        if [ "$(first_lines "$n" "$now")" != "$page" ]; then
            fail "the lines above the prompt changed after Ctrl-C"
        elif [ "$(lines_after "$n" "$now" | head -n 1)" != " ^C" ]; then
            fail "no \" ^C \" notice in place of the prompt"
        elif [ "$(lines_after "$((n + 1))" "$now" | head -n 1)" != "$help_first" ]; then
            fail "lines were printed after Ctrl-C, before the next command's \"$help_first\""
        fi
        coloured_transcript | grep -q "${esc}\[[39][0-7]m ^C" || fail "the notice is not coloured"
        between=$(coloured_transcript | tr '\n' ' ' | sed -n 's/.* ^C\(.*\)List descendants.*/\1/p')
        case "$between" in
        *"${esc}[39m"*) ;;
        *) fail "the colour was not put back after the notice" ;;
        esac
    fi
fi

# --- A coloured tree reads on the screen as the plain one does ---------------
# The same command with its output in a file (not a console, so not coloured)
# gives the lines each screen line must equal: pieces written out of order
# around a coloured name show here. Thread counts and memory change from one
# run to the next, so the columns shown are ones a process keeps; the PIDs
# match because the holder keeps one Wine server up for all runs. No /Z:
# services.exe's parent has ended, and whether its PID belongs to a younger
# process (which cuts the link) can change between the runs. A service may
# still come or go while the case runs, so the plain output is taken just
# before and just after the screen's: the screen must equal one of them.
tree='kinfold services.exe /c /t:s'
plain() { (cd "$build" && $runner kfshell.exe -c "$tree" </dev/null 2>&1 9>&-) | tr -d '\r' >"$1"; }
plain "$tmpdir/plain-before"
start "$tree"
if ! settle "" || ! has_ended "$now"; then
    fail "the coloured tree did not end"
else
    plain "$tmpdir/plain-after"
    before_done "$now" >"$tmpdir/screen"
    if diff "$tmpdir/plain-before" "$tmpdir/screen" >/dev/null; then
        plain=$tmpdir/plain-before
    else
        plain=$tmpdir/plain-after
    fi
    if ! diff "$plain" "$tmpdir/screen" >"$tmpdir/diff"; then
        fail "the screen differs from the plain output (< plain, > screen):
$(cat "$tmpdir/diff")"
    else
        # Exactly the executable names are coloured, each in one piece: the
        # word after the PID.
        names=$(LC_ALL=C sed -n 's/^[^0-9A-F]*[0-9A-F]*  \([^ ]*\)  .*/\1/p' "$plain")
        coloured=$(coloured_transcript | LC_ALL=C grep -o "${esc}\[[39][0-7]m[^${esc}]*" | sed "s/^${esc}\[[0-9]*m//")
        [ -n "$names" ] && [ "$coloured" = "$names" ] ||
            fail "coloured pieces: $(echo "$coloured" | paste -sd '|'); want the names: $(echo "$names" | paste -sd '|')"
    fi
fi

# --- A time-out continues by itself -----------------------------------------
# Waits for the end only: a prompt shows for a quarter of a second at a time.
start 'kinfold /P:250M,3 services.exe'
if ! wait_end; then
    fail "the time-out did not continue"
else
    [ "$(result_of "$now")" = 0 ] || fail "result after time-outs: $(result_of "$now"), want 0"
    case "$now" in
    *"Press a key"*) fail "a prompt stayed after a time-out" ;;
    esac
    body=$(before_done "$now" | sed '1{/^$/d}')
    [ -z "$(not_tree_lines "$body")" ] ||
        fail "lines that are not tree lines: $(not_tree_lines "$body" | paste -sd '|')"
fi

# --- KINFOLD /END asks on the console; only Y ends --------------------------
# Each case ends (or not) a process of its own: kfsleeper under a name of this
# run, started in the background outside every pane. Whether it still runs is
# read on the Linux side, where a Windows process is its Wine process; a fresh
# one for each case, as kfsleeper ends by itself after a minute.
question="End 1 process? (Y/N)"
# Leaves the Linux PID in $sleeper, the Windows PID in $sleeper_pid and as a
# tree line shows it in $sleeper_hex; $sleeper_pid is empty when it does not
# come up within a minute.
start_sleeper() {
    name=kfend$$-$cases.exe
    cp "$build/e2e/kfsleeper.exe" "$tmpdir/$name"
    (cd "$tmpdir" && exec $runner "$tmpdir/$name" 60000 </dev/null >/dev/null 2>&1 9>&-) &
    sleeper=$!
    sleeper_pid=""
    i=0
    while [ -z "$sleeper_pid" ] && [ $i -lt 600 ]; do
        sleeper_pid=$(cd "$build" && $runner kfshell.exe -c "kinfold $name /csv" </dev/null 2>/dev/null 9>&- |
            tr -d '\r' | sed -n 's/^0,\([0-9][0-9]*\),.*/\1/p')
        i=$((i + 1))
        [ -n "$sleeper_pid" ] || sleep 0.1
    done
    sleeper_hex=$(printf '%04X' "${sleeper_pid:-0}")
}
# A zombie still answers kill -0: it has ended, only nobody has waited for it.
sleeper_runs() {
    [ -n "$sleeper" ] && [ -r "/proc/$sleeper/status" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$sleeper/status"
}
# Only while it runs: once the shell has reaped it, its PID may be another's.
stop_sleeper() {
    if sleeper_runs; then
        kill "$sleeper"
        wait "$sleeper" 2>/dev/null
    fi
}
# Polls until the question is the pane's last line (the plugin waits for the
# answer) or the shell has ended; fails after a minute.
settle_question() {
    i=0
    while [ $i -lt 600 ]; do
        now=$(transcript)
        if [ "$(last_line "$now")" = "$question" ] || has_ended "$now"; then
            return 0
        fi
        sleep 0.1
        i=$((i + 1))
    done
    return 1
}
# Starts a sleeper and "kinfold PID /END" in a pane; true at the question,
# with the sleeper's tree line above it and the sleeper still running.
end_case() {
    start_sleeper
    if [ -z "$sleeper_pid" ]; then
        fail "the process to end did not come up${1:+ $1}"
        return 1
    fi
    start "kinfold $sleeper_pid /END"
    if ! settle_question || [ "$(last_line "$now")" != "$question" ]; then
        fail "no question \"$question\"${1:+ $1}"
    elif ! printf '%s\n' "$now" | grep -qx "$sleeper_hex  ${name%.exe}"; then
        fail "the tree line \"$sleeper_hex  ${name%.exe}\" is not above the question"
    elif ! sleeper_runs; then
        fail "the process was ended before the answer"
    else
        return 0
    fi
    stop_sleeper
    return 1
}

# N, Esc and Ctrl-C: result 3, the process left running. The answer shows
# as "N" after the question; Ctrl-C leaves the question whole and the break
# notice on the line below it.
for key in n Escape C-c; do
    case $key in
    C-c) answered="$question
 ^C" ;;
    *) answered="$question N" ;;
    esac
    if end_case "before $key"; then
        if [ $key = Escape ]; then send_escape; else tm send-keys -t "$session" $key; fi
        if ! wait_end; then
            fail "$key did not answer the question"
        else
            [ "$(result_of "$now")" = 3 ] || fail "result after $key: $(result_of "$now"), want 3"
            shown=$(before_done "$now" | tail -n "$(count_lines "$answered")")
            [ "$shown" = "$answered" ] ||
                fail "after $key: $(printf '%s\n' "$shown" | paste -sd '|'); want $(printf '%s\n' "$answered" | paste -sd '|')"
            sleeper_runs || fail "$key ended the process"
        fi
        stop_sleeper
    fi
done

# Y: the process is ended, and the report says so. Wine's server counts a
# process ended once it has told its threads to die, and its Linux process
# goes a moment later: its end is polled for, twenty seconds at most, well
# inside the minute it would live on its own.
if end_case "before Y"; then
    tm send-keys -t "$session" Y
    if ! wait_end; then
        fail "Y did not answer the question"
    else
        [ "$(result_of "$now")" = 0 ] || fail "result after Y: $(result_of "$now"), want 0"
        report=$(before_done "$now" | tail -n 2)
        [ "$report" = "$question Y
Ended 1 of 1 process." ] || fail "after Y: $(printf '%s\n' "$report" | paste -sd '|'); want the answer Y, then \"Ended 1 of 1 process.\""
        i=0
        while sleeper_runs && [ $i -lt 200 ]; do
            sleep 0.1
            i=$((i + 1))
        done
        sleeper_runs && fail "Y did not end the process"
        stop_sleeper
    fi
fi

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all console checks passed"
exit 0
