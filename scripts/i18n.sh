#!/usr/bin/env bash
# Brings the translations up to date with the sources:
#   bash scripts/i18n.sh          writes po/sentrel.pot and merges it into each po/<lang>.po
#   bash scripts/i18n.sh --check  changes nothing; fails when a text of the sources has no
#                                 translation in a catalog, or a catalog does not compile
set -euo pipefail
cd "$(dirname "$0")/.."
check=0
[ "${1:-}" = "--check" ] && check=1
pot="po/sentrel.pot"
[ $check = 1 ] && pot="$(mktemp --suffix=.pot)"
# The texts the user reads: Tr, TrW and TrN in the sources, N_ in their tables, and
# sentrel-watch's Complain.
find app base content controls alerts delivery model probe platform settings store support watch \
     -name '*.cpp' -o -name '*.h' | LC_ALL=C sort |
  xgettext --files-from=- --from-code=UTF-8 --language=C++ --keyword= --keyword=Tr \
    --keyword=TrW --keyword=TrN:1,2 --keyword=N_ --keyword=Complain:1 --add-location=file --sort-by-file \
    --package-name=HalvexSentrel --msgid-bugs-address="the HalvexSentrel developers" --output="$pot"
status=0
for po in po/*.po; do
  lang=$(basename "$po" .po)
  if [ $check = 1 ]; then
    # Every text of the sources translated, none fuzzy, and the catalog well-formed.
    if ! msgcmp "$po" "$pot" 2>&1; then
      echo "po/$lang.po lacks translations of the texts above: run scripts/i18n.sh and translate them"
      status=1
    fi
    fuzzy=$(msgattrib --only-fuzzy --no-obsolete "$po" | grep -c '^msgid ' || true)
    if [ "$fuzzy" != 0 ]; then echo "po/$lang.po has $fuzzy fuzzy translations"; status=1; fi
    msgfmt --check -o /dev/null "$po" || status=1
  else
    msgmerge --quiet --update --backup=none --no-fuzzy-matching "$po" "$pot"
    msgattrib --no-obsolete --output-file="$po" "$po"  # texts gone from the sources go
  fi
done
[ $check = 1 ] && rm -f "$pot"
[ $status = 0 ] && [ $check = 1 ] && echo "catalogs: every text translated, none fuzzy, all compile"
exit $status
