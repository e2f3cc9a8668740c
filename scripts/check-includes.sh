#!/bin/bash
# Fails when a source file includes a folder its layer may not use.
# The layers, lowest first:
#   base                          the error type, the log
#   store                         the data, the money and number rules
#   report                        the banded report engine (Qt Gui, no store)
#   ui                            controls and window kit shared by windows
#   ticket, print, admin, history windows; never one another
#   app                           start-up, and the wiring between windows
set -euo pipefail
src="${1:-$(dirname "$0")/../src}"

allowed() {
  case "$1" in
    base) echo "base" ;;
    store) echo "base store" ;;
    report) echo "base report" ;;
    ui) echo "base store report ui" ;;
    ticket | print | admin | history) echo "base store report ui $1" ;;
    app) echo "base store report ui ticket print admin history app" ;;
    *) return 1 ;;
  esac
}

bad=0
for dir in "$src"/*/; do
  folder=$(basename "$dir")
  if ! ok=$(allowed "$folder"); then
    echo "src/$folder: a folder without a layer; add it to scripts/check-includes.sh" >&2
    bad=1
    continue
  fi
  while IFS=: read -r file line text; do
    target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]+)\/.*/\1/' <<<"$text")
    [[ "$target" == "$text" ]] && continue
    if ! grep -qw -- "$target" <<<"$ok"; then
      echo "${file#"$src"/}:$line: src/$folder may not include $target/ ($text)" >&2
      bad=1
    fi
  done < <(grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"/]+/' "$dir" -r --include='*.h' --include='*.cpp' || true)
done
[[ $bad == 0 ]] && echo "includes follow the layers"
exit $bad
