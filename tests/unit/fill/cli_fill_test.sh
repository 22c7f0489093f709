#!/usr/bin/env bash
# marrowdale-record --fill / --fill-odd on a temporary folder: the files made, the messages and
# the exit status.
set -u
RECORD=$1
WORK=$(mktemp -d "${TMPDIR:-/tmp}/cli-fill.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
failures=0
check() {  # check DESCRIPTION CONDITION...
    local what=$1
    shift
    if ! "$@"; then
        echo "FAILED: $what" >&2
        failures=$((failures + 1))
    fi
}
frame() { printf '%s/%06d.%s' "$1" "$2" "${3:-jpg}"; }

D="$WORK/auto"
mkdir "$D"
for n in 1 2 3 7 8; do printf 'frame %d\377\000' "$n" >"$(frame "$D" "$n")"; done
out=$("$RECORD" --fill "$D" 2>"$WORK/err")
rc=$?
check "auto fill exits 0" test "$rc" -eq 0
check "auto fill prints the finished message" test "$out" = "Finished filling empty frame slots"
check "auto fill prints nothing on stderr" test ! -s "$WORK/err"
for n in 4 5 6; do
    check "frame $n is a copy of frame 3" cmp -s "$(frame "$D" 3)" "$(frame "$D" "$n")"
done
check "nothing after the last frame" test ! -e "$(frame "$D" 9)"

O="$WORK/odd"
mkdir "$O"
for n in 1 2 3 5; do printf 'odd %d' "$n" >"$(frame "$O" "$n")"; done
out=$("$RECORD" --fill-odd "$O")
check "odd fill exits 0" test $? -eq 0
check "odd fill prints the finished message" test "$out" = "Finished filling empty frame slots"
check "frame 2 replaced by frame 1" cmp -s "$(frame "$O" 1)" "$(frame "$O" 2)"
check "frame 6 made from frame 5" cmp -s "$(frame "$O" 5)" "$(frame "$O" 6)"

B="$WORK/bmp"
mkdir "$B"
for n in 1 3; do printf 'bmp %d' "$n" >"$(frame "$B" "$n" bmp)"; done
"$RECORD" --fill "$B" >/dev/null 2>&1
check "JPEG names do not see BMP frames" test ! -e "$(frame "$B" 2 bmp)"
"$RECORD" --format bmp --fill "$B" >/dev/null
check "--format bmp fills BMP frames" cmp -s "$(frame "$B" 1 bmp)" "$(frame "$B" 2 bmp)"

F="$WORK/fail"
mkdir "$F"
printf 'one' >"$(frame "$F" 1)"
printf 'three' >"$(frame "$F" 3)"
ln -s /dev/full "$(frame "$F" 2)"
out=$("$RECORD" --fill-odd "$F" 2>"$WORK/err")
rc=$?
check "a fill that left something alone exits non-zero" test "$rc" -ne 0
check "it prints nothing on stdout" test -z "$out"
check "it says what it left alone" grep -q "left alone because they are not regular files (the first: 000002.jpg)" "$WORK/err"
check "the link is not written through" test -L "$(frame "$F" 2)"
check "the rest is filled" cmp -s "$(frame "$F" 3)" "$(frame "$F" 4)"

out=$("$RECORD" --fill-odd "$WORK/none" 2>"$WORK/err")
rc=$?
check "a missing folder exits non-zero" test "$rc" -ne 0
check "a missing folder is said" grep -q "does not exist" "$WORK/err"
out=$("$RECORD" --fill "$WORK" 2>"$WORK/err")
rc=$?
check "a folder without frames exits non-zero" test "$rc" -ne 0
check "a folder without frames is said" grep -q "holds no frame files" "$WORK/err"

# Ctrl+C during a fill: the recorder starts with SIGINT already pending (blocked, so it waits
# across exec), which the fill finds at its first look, after the first file it made.
C="$WORK/cancel"
mkdir "$C"
printf 'one' >"$(frame "$C" 1)"
printf 'four' >"$(frame "$C" 4)"
python3 -c '
import os, signal, sys
signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT})
os.kill(os.getpid(), signal.SIGINT)
os.execv(sys.argv[1], sys.argv[1:])' "$RECORD" --fill "$C" >"$WORK/out" 2>"$WORK/err"
rc=$?
check "a cancelled fill exits 1" test "$rc" -eq 1
check "a cancelled fill says how far it got" \
    test "$(cat "$WORK/err")" = "Fill cancelled: 1 frames examined, 1 copied"
check "the file being made was completed" cmp -s "$(frame "$C" 1)" "$(frame "$C" 2)"
check "nothing after the cancel" test ! -e "$(frame "$C" 3)"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all checks passed"
