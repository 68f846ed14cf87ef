#!/usr/bin/env bash
# own-home.sh COMMAND [ARGS...]: runs one test in a home of its own, made fresh for this run and
# removed after it: HOME, every XDG folder and TMPDIR point into it. Settings, plans, outboxes and
# journals a test leaves behind can then never reach another test, a later run of the same test
# (the sanitizer build's or the normal build's) or the user's own home.
set -uo pipefail
own=$(mktemp -d "${TMPDIR:-/tmp}/vorn-test.XXXXXX") || exit 1
trap 'rm -rf "$own"' EXIT
# Traversable by the unprivileged users that a test's servers run as.
chmod 755 "$own"
export HOME=$own/home XDG_CONFIG_HOME=$own/config XDG_DATA_HOME=$own/data \
  XDG_STATE_HOME=$own/state XDG_CACHE_HOME=$own/cache XDG_RUNTIME_DIR=$own/runtime TMPDIR=$own/tmp
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_STATE_HOME" "$XDG_CACHE_HOME" \
  "$XDG_RUNTIME_DIR" "$TMPDIR"
chmod 700 "$XDG_RUNTIME_DIR"
chmod 1777 "$TMPDIR"
# Not exec, so that the folder is removed when the test ends; in the foreground, so that the
# test gets the signals and the terminal as it would alone.
"$@"
