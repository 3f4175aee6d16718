#!/bin/sh
# save_page_job.sh DIR: the pipe port of the page tests' printer. Keeps the
# PostScript job read from standard input as DIR/jobN.ps (N counts from 0)
# with two renderings by Ghostscript: jobN.png for people, jobN.pgm (grey,
# 40 dpi) for the test. The .ps file appears last, when all three are ready.
set -eu
dir=$1
mkdir -p "$dir"
tmp=$(mktemp "$dir/.incoming.XXXXXX")
cat >"$tmp"
n=$(find "$dir" -maxdepth 1 -name 'job*.ps' | wc -l)
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -r60 -o "$dir/job$n.png" "$tmp" >/dev/null 2>&1 || true
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pgmraw -r40 -o "$dir/job$n.pgm" "$tmp" >/dev/null 2>&1 || true
mv "$tmp" "$dir/job$n.ps"
