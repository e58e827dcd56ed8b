#!/usr/bin/env bash
# The bash completion for kestrow-cli, asked as bash asks it: on its own and, when
# installed, under bash-completion, whose helpers it then uses.
cli=${KESTROW_CLI:?}
source_dir=${KESTROW_SOURCE_DIR:?}
source "$(dirname "$0")/common.sh"

completion=$source_dir/dist/completion/kestrow-cli
PATH=$(dirname "$cli"):$PATH
export PATH
files=$scratch/files
mkdir -p "$files/sub folder" "$files/other"
printf 'x' > "$files/a.txt"
# A Target with two moments, one holding a name with a space and a line feed.
mkdir -p "$files/other/.kestrow-versions/2026-12-09 181502/docs" "$files/other/.kestrow-versions/2026-12-10 090000"
printf 'v' > "$files/other/.kestrow-versions/2026-12-09 181502/docs/my file.txt"
printf 'v' > "$files/other/.kestrow-versions/2026-12-09 181502/"$'line\nfeed'

# complete LOADER WORD... : the offers for the last WORD, one a line, sorted.
complete_words() {
    local loader=$1
    shift
    bash --norc --noprofile -c '
        loader=$1 completion=$2
        shift 2
        [ -z "$loader" ] || source "$loader"
        source "$completion"
        COMP_WORDS=("$@")
        COMP_CWORD=$(($# - 1))
        COMP_LINE="$*"
        COMP_POINT=${#COMP_LINE}
        _kestrow_cli
        [ ${#COMPREPLY[@]} -eq 0 ] || printf "%s\n" "${COMPREPLY[@]}" | sort' _ "$loader" "$completion" "$@"
}

lines() { printf '%s\n' "$@"; }

loaders=("")
if [ -f /usr/share/bash-completion/bash_completion ]; then
    loaders+=(/usr/share/bash-completion/bash_completion)
else
    echo "note: bash-completion is not installed; only the completion on its own is asked"
fi

for loader in "${loaders[@]}"; do
    mode=${loader:+with bash-completion}
    mode=${mode:-on its own}
    all=$(complete_words "$loader" kestrow-cli "")
    for command in clone list run task versions report daemon --help --version; do
        check "$mode: first word offers $command" grep -qx -- "$command" <<<"$all"
    done
    check "$mode: 'cl' completes to clone" test "$(complete_words "$loader" kestrow-cli cl)" = clone
    check "$mode: clone '--com' completes to --compare" \
        test "$(complete_words "$loader" kestrow-cli clone --com)" = --compare
    check "$mode: --compare offers the comparison methods" \
        test "$(complete_words "$loader" kestrow-cli clone "$files" --compare "")" = "$(lines contents crc32 datetime size)"
    check "$mode: --delete 't' completes to trash" \
        test "$(complete_words "$loader" kestrow-cli clone --delete t)" = trash
    check "$mode: --copy offers the copy methods" \
        test "$(complete_words "$loader" kestrow-cli clone --copy "")" = "$(lines keep regular safe)"
    check "$mode: --include-mask offers nothing (the user's own masks)" \
        test -z "$(complete_words "$loader" kestrow-cli clone --include-mask "")"
    check "$mode: run '--' offers run's options" \
        test "$(complete_words "$loader" kestrow-cli run --)" = "$(lines --all --category --help --keep-versions-days --keep-versions-moments --no-progress --no-versions --progress --quiet --task-list --versions --versions-folder)"
    check "$mode: task add '--so' completes to --source" \
        test "$(complete_words "$loader" kestrow-cli task add --so)" = --source
    check "$mode: daemon '--' offers daemon's options" \
        grep -qx -- --task-list <<<"$(complete_words "$loader" kestrow-cli daemon --)"
    check "$mode: clone folders are folders only" \
        test "$(complete_words "$loader" kestrow-cli clone --quiet "$files/")" = "$(lines "$files/other" "$files/sub folder")"
    check "$mode: report -o offers files" \
        grep -qx -- "$files/a.txt" <<<"$(complete_words "$loader" kestrow-cli report -o "$files/")"
    check "$mode: versions offers its sub-commands" \
        test "$(complete_words "$loader" kestrow-cli versions "")" = "$(lines list restore show)"
    check "$mode: versions restore --to offers folders" \
        test "$(complete_words "$loader" kestrow-cli versions restore --to "$files/")" = "$(lines "$files/other" "$files/sub folder")"
    check "$mode: versions show offers the moments of the Target, quoted" \
        test "$(complete_words "$loader" kestrow-cli versions show "$files/other" "")" = \
        "$(lines '2026-12-09\ 181502' '2026-12-10\ 090000')"
    check "$mode: versions list offers no moment" \
        test -z "$(complete_words "$loader" kestrow-cli versions list "$files/other" "")"
    check "$mode: versions restore offers the items of the moment as show prints them" \
        test "$(complete_words "$loader" kestrow-cli versions restore -q "$files/other" '2026-12-09\ 181502' "")" = \
        "$(lines 'docs/' 'docs/my\ file.txt' 'line\\nfeed')"
    check "$mode: an unknown command offers nothing" \
        test -z "$(complete_words "$loader" kestrow-cli frobnicate --)"
done
finish
