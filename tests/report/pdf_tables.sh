#!/usr/bin/env bash
# Reads the calibration document of a form file back as text and compares its
# tables with `tgxctl tables` of the same file: every volume of every table
# that gets a section, in table order. Needs pdftotext (poppler-utils).
#
#   tests/report/pdf_tables.sh TGXCTL FILE
#
# Exit 0 when they agree; 1 with the difference when they do not.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 TGXCTL FILE" >&2; exit 64; }
ctl=$1
file=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Exit 3 still writes the document: a form that does not convert has its reason there.
"$ctl" report "$file" "$tmp/doc.pdf" >/dev/null 2>"$tmp/err" || [ $? -eq 3 ] || { cat "$tmp/err" >&2; exit 1; }
pdftotext -layout "$tmp/doc.pdf" "$tmp/doc.txt"

# On each page, the lines of numbers below the column header; the first number
# of a line is its level in centimetres, and level 0 starts the next table.
LC_ALL=C.UTF-8 awk '
  /\f/ { gsub(/\f/, ""); rows = 0 }
  /Уровень, см/ { rows = 1; next }
  !rows || NF == 0 { next }
  {
    for (i = 1; i <= NF; i++) if ($i !~ /^-?[0-9]+$/) { rows = 0; next }
    if ($1 == 0) { if (open) print table; table = ""; open = 1 }
    else if ($1 != next_level) table = table " LEVEL-" $1 "-OUT-OF-STEP"
    next_level = $1 + 10
    for (i = 2; i <= NF; i++) table = table (table == "" ? "" : " ") $i
  }
  END { if (open) print table }
' "$tmp/doc.txt" >"$tmp/pdf"

# tgxctl tables: channel, count, values; gaps (fewer than two entries) and
# forms that do not convert ("-") have no table in the document.
"$ctl" tables "$file" | awk -F'\t' 'NF == 3 && $2 >= 2 { print $3 }' >"$tmp/ctl"

diff -u "$tmp/ctl" "$tmp/pdf" >&2
