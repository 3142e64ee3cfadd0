#!/bin/sh
# Runs a test in a D-Bus session of its own, with a GNOME keyring of its own (in a temporary
# home, unlocked with a password of its own), so that no test ever reads or writes the user's keyring.
# Exits 77 (skipped) where the machine has no dbus-run-session or gnome-keyring-daemon.
command -v dbus-run-session > /dev/null && command -v gnome-keyring-daemon > /dev/null || {
    echo "skipped: dbus-run-session and gnome-keyring-daemon are needed for a test keyring" >&2
    exit 77
}
home=$(mktemp -d) || exit 1
trap 'rm -rf "$home"' EXIT
mkdir -m 700 "$home/run"
HOME=$home XDG_DATA_HOME=$home/data XDG_RUNTIME_DIR=$home/run TARVIK_KEYRING=on \
    dbus-run-session -- sh -c 'printf tarvik-test | gnome-keyring-daemon --unlock --components=secrets > /dev/null && "$@"' sh "$@"
