#!/usr/bin/env bash
# The man pages are well-formed roff and document what kestrow-cli's own help
# offers: every command and every option, so the pages cannot fall behind the program.
cli=${KESTROW_CLI:?}
source_dir=${KESTROW_SOURCE_DIR:?}
version=${KESTROW_VERSION:?}
source "$(dirname "$0")/common.sh"

man_dir=$source_dir/dist/man
for page in kestrow.1 kestrow-cli.1 kestrow.kwt.5; do
    check "$page names version $version" grep -q "^\.TH .* \"Kestrow $version\"" "$man_dir/$page"
    if command -v groff >/dev/null; then
        out=$(groff -man -ww -z "$man_dir/$page" 2>&1)
        [ -z "$out" ] || echo "$out"
        check "groff reads $page without a warning" test -z "$out"
    fi
done

page=$man_dir/kestrow-cli.1
in_page() { # OPTION: present in the page as a whole option, with roff's escaped hyphens
    local pattern=${1//-/'\\-'}
    grep -qE -- "(^|[^-])${pattern}([^A-Za-z0-9\\\\]|\$)" "$page"
}
commands=$("$cli" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p')
check "kestrow-cli --help lists commands" test -n "$commands"
for command in $commands; do
    check "man page has $command in its synopsis" grep -qF ".B kestrow\\-cli $command" "$page"
    options=$("$cli" "$command" --help | grep -oE -- '(^|[][ ,])--?[A-Za-z0-9][A-Za-z0-9-]*' | tr -d '[], ' | sort -u)
    for option in $options; do
        check "man page documents $command $option" in_page "$option"
    done
done
for option in $("$cli" --help | sed -n '/^Options:/,/^$/p' | grep -oE -- '--?[A-Za-z]+'); do
    check "man page documents $option" in_page "$option"
done
# The task list page names every key the program writes, in its key order.
page=$man_dir/kestrow.kwt.5
keys=$(grep -o '"[A-Za-z]*"' "$source_dir/tasks/TaskListFile.h" | sed -n '/SourceFolderSpec/,/Category/p' | tr -d '"')
check "TaskListFile.h gives sixteen keys" test "$(wc -l <<<"$keys")" -eq 16
check "kestrow.kwt.5 documents the keys in their order" \
    test "$(awk '/^\.SH / { k = $2 == "KEYS" } k && tp && /^\.B [A-Za-z]+$/ { print $2 } { tp = $0 == ".TP" }' "$page")" = "$keys"
finish
