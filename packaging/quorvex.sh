#!/bin/sh
# Starts the Quorvex window in the user's own start-up directory, where the
# program finds config.xml, the Language folder and the banner and where its
# language choice is saved. The first start seeds it from the installed data;
# later starts add shipped files that are missing and never overwrite the
# user's own.
set -e
here=$(dirname "$(readlink -f "$0")")
prefix=$(dirname "$here")
shipped="$prefix/share/quorvex"
dir="${XDG_DATA_HOME:-$HOME/.local/share}/quorvex"
mkdir -p "$dir"
cp -R -n "$shipped/." "$dir/" 2>/dev/null || true
cd "$dir"
exec "$prefix/lib/quorvex/quorvex"
