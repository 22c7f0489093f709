#!/usr/bin/env bash
# The options of marrowdale-record as its --help lists them are the options its manual page
# describes and the ones its bash completion offers, with the fixed values of each.
# Usage: documented_options_test.sh RECORDER MANUAL_PAGE COMPLETION
set -euo pipefail
RECORDER=$1 MANUAL=$2 COMPLETION=$3
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

help=$("$RECORDER" --help)
# An option line of --help: two spaces, the option (after "-h, " for a short form), its argument.
help_options=$(sed -n 's/^  \(-[a-z], \)\{0,1\}\(--[a-z][a-z0-9-]*\).*/\2/p' <<<"$help" | sort -u)
[ "$(wc -l <<<"$help_options")" -ge 10 ] || fail "too few options read from --help: $help_options"

# The manual page: the first line after each .TP in the OPTIONS section names the option.
manual_options=$(sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$MANUAL" |
    sed -n '/^\.TP/{n;p}' | sed 's/\\-/-/g' | grep -o -- '--[a-z][a-z0-9-]*' | sort -u)
if [ "$help_options" != "$manual_options" ]; then
    fail "--help and the manual page name different options"
    diff <(echo "$help_options") <(echo "$manual_options") | sed 's/^</  only in --help:/; s/^>/  only in the manual page:/' | grep only >&2
fi

# The completion, run as bash runs it on Tab.
complete_words() {
    bash -c '
        source "$1"; shift
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
        _marrowdale_record
        printf "%s\n" "${COMPREPLY[@]}"' _ "$COMPLETION" "$RECORDER" "$@" | sort
}
completed=$(complete_words --)
[ "$completed" = "$help_options" ] ||
    fail "the completion of -- offers $(echo $completed), not $(echo $help_options)"
# Each option whose --help line shows its values "a|b|c" gets them, in both spellings.
while read -r option values; do
    expected=$(tr '|' '\n' <<<"$values" | sort)
    got=$(complete_words "$option" "")
    [ "$got" = "$expected" ] || fail "completion after '$option ': $(echo $got)"
    got=$(complete_words "$option" = "")
    [ "$got" = "$expected" ] || fail "completion after '$option=': $(echo $got)"
done < <(sed -n 's/^  \(--[a-z][a-z0-9-]*\) \([a-z0-9]*|[a-z0-9|]*\).*/\1 \2/p' <<<"$help")
# A folder argument offers folders, a number nothing.
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
mkdir "$folder/recordings" "$folder/other"
: >"$folder/recordings-file"
got=$(complete_words --dir "$folder/rec")
[ "$got" = "$folder/recordings" ] || fail "completion of --dir $folder/rec: $(echo $got)"
got=$(complete_words --seconds "")
[ -z "$got" ] || fail "completion after --seconds offers $(echo $got)"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "documented options: $(echo $help_options)"
