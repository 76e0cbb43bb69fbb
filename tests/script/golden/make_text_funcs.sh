#!/bin/sh
# Regenerates text_funcs.tsv with Free Pascal (Debian package fpc).
set -e
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
fpc -v0 -FE"$tmp" "$here/text_funcs.pas" >/dev/null
"$tmp/text_funcs" > "$here/text_funcs.tsv"
rm -rf "$tmp"
