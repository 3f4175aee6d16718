#!/usr/bin/env bash
# sample_digests.sh FILTER DIGESTS JOBDIR: runs every sample job through the
# filter at its default levels and compares the output with its recorded
# SHA-256. Exit 77 (skipped) when no sample job matches its recorded input.
set -euo pipefail
filter=$1 digests=$2 jobdir=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/sample-digests.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$here/../../scripts/make-sample-jobs" "$jobdir" >/dev/null
checked=0 failed=0
while read -r name input output; do
  case $name in ''|'#'*) continue ;; esac
  job=$jobdir/$name.prn
  if [ ! -s "$job" ] || [ "$(sha256sum <"$job" | cut -c1-64)" != "$input" ]; then
    echo "skipped $name: rendered differently here"
    continue
  fi
  maker=hp
  case $name in canon-*) maker=canon ;; esac
  if ! "$filter" --maker "$maker" --threshold-dir "$work/thresholds" "$job" "$work/out.prn"; then
    echo "FAILED $name: the filter failed"
    failed=$((failed + 1))
    continue
  fi
  got=$(sha256sum <"$work/out.prn" | cut -c1-64)
  if [ "$got" != "$output" ]; then
    echo "FAILED $name: output $got, recorded $output"
    failed=$((failed + 1))
  fi
  checked=$((checked + 1))
done <"$digests"
echo "$checked jobs checked, $failed differ"
[ $checked -gt 0 ] || exit 77
[ $failed -eq 0 ]
