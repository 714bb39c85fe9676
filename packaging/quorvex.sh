#!/bin/sh
# Starts the Quorvex window. Language packs and the banner are read where the
# package installed them (the program's start-up directory is set to it), so
# an upgrade reaches them. config.xml is the user's own: the window finds
# $XDG_CONFIG_HOME/quorvex/config.xml first (see the README), and saves the
# language choice there; the first start copies the shipped one to begin with.
set -e
here=$(dirname "$(readlink -f "$0")")
prefix=$(dirname "$here")
shipped="$prefix/share/quorvex"
config_home="${XDG_CONFIG_HOME:-$HOME/.config}"
case "$config_home" in /*) ;; *) config_home="$HOME/.config" ;; esac
if [ ! -e "$config_home/quorvex/config.xml" ]; then
    mkdir -p "$config_home/quorvex" && cp "$shipped/config.xml" "$config_home/quorvex/config.xml" || true
fi
cd "$shipped"
exec "$prefix/lib/quorvex/quorvex" "$@"
