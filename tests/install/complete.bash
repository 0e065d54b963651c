#!/usr/bin/env bash
# Prints, one per line, what a bash completion file offers when Tab is pressed at the end of a
# command line, with the line split into words as readline splits it (at blanks, and at '=' and
# ':' which become words of their own).
# Usage: complete.bash [--plain] COMPLETION_FILE 'COMMAND WORD... '
# --plain leaves bash-completion's helpers out, as on a system without the bash-completion package.
set -u
plain=false
if [[ ${1-} == --plain ]]; then
    plain=true
    shift
fi
completion_file=$1
line=$2

words=()
word=
for ((i = 0; i < ${#line}; i++)); do
    c=${line:i:1}
    case $c in
        ' ')
            [[ -n $word ]] && words+=("$word")
            word=
            ;;
        = | :)
            [[ -n $word ]] && words+=("$word")
            words+=("$c")
            word=
            ;;
        *) word+=$c ;;
    esac
done
# The word under the cursor: empty after a blank, the break character itself right after one.
if [[ -n $word || ${line: -1} == ' ' ]]; then
    words+=("$word")
fi

if ! $plain && [[ -r /usr/share/bash-completion/bash_completion ]]; then
    # shellcheck disable=SC1091
    source /usr/share/bash-completion/bash_completion
fi
# shellcheck disable=SC1090
source "$completion_file" || exit 3

registration=$(complete -p "${words[0]}" 2>/dev/null) || {
    echo "complete.bash: $completion_file defines no completion for ${words[0]}" >&2
    exit 3
}
function=$(sed -n 's/.* -F \([^ ]*\) .*/\1/p' <<<"$registration")
if [[ -z $function ]]; then
    echo "complete.bash: no completion function in: $registration" >&2
    exit 3
fi

COMP_WORDS=("${words[@]}")
COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
COMP_LINE=$line
COMP_POINT=${#COMP_LINE}
COMP_TYPE=9
COMP_KEY=9
COMPREPLY=()
"$function" "${words[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
if ((${#COMPREPLY[@]})); then
    printf '%s\n' "${COMPREPLY[@]}"
fi
