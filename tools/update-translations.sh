#!/bin/bash
# Brings every translation source in resources/i18n/<language>/ up to date with the
# texts in the code and forms: one .ts per program folder, so that people translating
# different parts of the program do not edit the same file. New texts arrive
# unfinished (tests/resources fails until they are translated); texts no longer in
# the code are dropped.
#
# English is the source language: its file holds only the texts with plural forms
# ("%n photo(s)"), which need an English translation to read well.
#
# Usage: tools/update-translations.sh   (or `make translations`)
set -euo pipefail
cd "$(dirname "$0")/.."

# file name -> folder
areas=(
    "shell:app/core/shell"
    "imaging:app/core/imaging"
    "matting:app/core/matting"
    "document:app/core/document"
    "widgets:app/ui/widgets"
    "editor:app/ui/editor"
    "batch:app/ui/batch"
    "window:app/ui/window"
    "common:lib/common"
    "platform:platform"
)

for dir in resources/i18n/*/; do
    lang=$(basename "$dir")
    for area in "${areas[@]}"; do
        name=${area%%:*}
        folder=${area#*:}
        options=(-silent -no-obsolete -locations none)
        [ -f "$dir/$name.ts" ] || options+=(-target-language "$lang")
        [ "$lang" = en ] && options+=(-pluralonly)
        # Line numbers would make every change of code a change of every .ts file,
        # and parallel branches would then conflict on them.
        lupdate "${options[@]}" "$folder" -ts "$dir/$name.ts"
        # A folder without texts leaves an empty file behind; it is not kept.
        if ! grep -q '<message' "$dir/$name.ts"; then
            rm "$dir/$name.ts"
        fi
    done
done
