# shellcheck shell=bash
# How this project runs Windows programs under Wine; sourced by scripts/wine-run and scripts/test.
#
# A session is one Xvfb (only when DISPLAY is unset) plus one persistent wineserver for the
# project's prefix. Keeping the server alive makes a warm test start in about 0.05 s instead of
# paying Wine's start-up for each process. Sessions are shared: scripts/test and any wine-run
# started by hand for the same prefix register their pids in <prefix>.session/users, join the
# session that is up, and the last to leave ends it. A user that died without leaving is pruned
# by the next one, and only then is a leftover server killed, so nobody kills a live session.
#
# Every command that can start a long-lived process (Xvfb, the wineserver, Wine's services and
# desktop) runs with its standard streams on the log and without the lock descriptor: Wine's
# system processes inherit the standard streams of the first Windows process of a server, and
# if that were a test started by CTest, CTest would wait on its still-open pipe until the
# timeout. A background process holding fd 9 would keep the lock taken forever.

keelo_wine_fail() {
  echo "wine-session: $*" >&2
  if [[ -n ${keelo_wine_log:-} && -s $keelo_wine_log ]]; then
    echo "wine-session: last lines of $keelo_wine_log:" >&2
    tail -n 20 "$keelo_wine_log" >&2
  fi
  return 1
}

# keelo_wine_env PREFIX: the environment every Wine command of the project runs with.
keelo_wine_env() {
  export WINEPREFIX="$1"
  keelo_wine_log="$1.log"
  keelo_wine_session_dir="$1.session"
  # -all also hides the "wine32 is missing" hint; a developer may still ask for channels.
  export WINEDEBUG="${WINEDEBUG:--all}"
  # Without this, saving a .lnk in the Start Menu makes Wine write .desktop files and icons
  # into the Linux user's home.
  if [[ ";${WINEDLLOVERRIDES:-};" != *";winemenubuilder.exe=d;"* ]]; then
    export WINEDLLOVERRIDES="winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
  fi
}

# Runs a command detached from the caller's streams and from the lock.
keelo_wine_quiet() {
  "$@" </dev/null >>"$keelo_wine_log" 2>&1 9>&-
}

keelo_wine_lock() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>>"$WINEPREFIX.lock"
  flock 9
}

keelo_wine_unlock() {
  exec 9>&-
}

# Starts Xvfb on a free display and exports DISPLAY. -displayfd lets the server pick the display
# and tells us once it accepts connections: no race on display numbers, no sleep.
keelo_xvfb_start() {
  local display_file="$keelo_wine_session_dir/xvfb-display"
  rm -f "$display_file"
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp \
    3>"$display_file" </dev/null >>"$keelo_wine_log" 2>&1 9>&- &
  local pid=$!
  echo "$pid" >"$keelo_wine_session_dir/xvfb-pid"
  local tries=0
  until [[ -s $display_file ]]; do
    if ! kill -0 "$pid" 2>/dev/null || ((++tries > 200)); then
      keelo_wine_fail "Xvfb did not start"
      return 1
    fi
    sleep 0.05
  done
  DISPLAY=":$(head -n 1 "$display_file")"
  export DISPLAY
}

# Stops the recorded Xvfb, checking its name first in case the pid was reused.
keelo_xvfb_stop() {
  local pid_file="$keelo_wine_session_dir/xvfb-pid" pid
  [[ -f $pid_file ]] || return 0
  pid=$(<"$pid_file")
  if [[ $(cat "/proc/$pid/comm" 2>/dev/null) == Xvfb ]]; then
    kill "$pid" 2>/dev/null || true
    local tries=0
    while kill -0 "$pid" 2>/dev/null && ((++tries < 100)); do sleep 0.05; done
    kill -KILL "$pid" 2>/dev/null || true
    # Reaps it when we are its parent; harmless otherwise.
    wait "$pid" 2>/dev/null || true
  fi
  rm -f "$pid_file" "$keelo_wine_session_dir/xvfb-display"
}

# Creates the prefix once. The stamp is written last, so an interrupted creation is redone.
keelo_wine_prefix_prepare() {
  local stamp="$WINEPREFIX/.keelo-prefix-ready"
  [[ -e $stamp ]] && return 0
  # Skipping Mono and Gecko avoids their install prompts; the prefix needs neither.
  WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" keelo_wine_quiet wineboot -i ||
    { keelo_wine_fail "wineboot -i failed for $WINEPREFIX"; return 1; }
  keelo_wine_managed_off || return 1
  # wineboot started Wine's desktop and its tray before the value existed, and they read it once:
  # left running, every window they hide or destroy in this session would block about 2 s (a
  # host's exit waits that long on the tray). Ended now, with the registry saved, they start
  # again unmanaged when the session next needs them.
  keelo_wine_quiet wineserver -k || true
  keelo_wine_quiet wineserver -w || true
  keelo_wine_quiet wineserver -p ||
    { keelo_wine_fail "wineserver -p failed for $WINEPREFIX"; return 1; }
  touch "$stamp"
}

# With no window manager, hiding or destroying a captioned window blocks about 2 s unless Wine
# manages the windows itself.
keelo_wine_managed_off() {
  keelo_wine_quiet wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f ||
    { keelo_wine_fail "could not set Managed=N in $WINEPREFIX"; return 1; }
}

keelo_wine_session_begin() {
  if [[ -z ${DISPLAY:-} ]]; then
    keelo_xvfb_start || return 1
  fi
  # The server refuses to start in a directory that does not exist yet.
  mkdir -p "$WINEPREFIX"
  # No user is left, so a running server is a leftover of a killed run: it would make -p fail
  # and keep Wine's desktop on a display that may be gone.
  keelo_wine_quiet wineserver -k || true
  keelo_wine_quiet wineserver -w || true
  keelo_wine_quiet wineserver -p ||
    { keelo_wine_fail "wineserver -p failed for $WINEPREFIX"; return 1; }
  keelo_wine_prefix_prepare || return 1
  # Starts Wine's services and desktop now, on the log, and checks that the fix held: its
  # value lives in the server's memory until the server saves the registry.
  local managed
  managed=$(wine reg query 'HKCU\Software\Wine\X11 Driver' /v Managed \
    </dev/null 2>>"$keelo_wine_log" 9>&-) || true
  if [[ ! $managed =~ Managed[[:space:]]+REG_SZ[[:space:]]+N ]]; then
    keelo_wine_managed_off || return 1
  fi
  keelo_wine_desktop_keep || return 1
  echo "$DISPLAY" >"$keelo_wine_session_dir/display"
}

# Wine's desktop is started by the first program that needs it, inherits that program's
# standard error and lives while any program uses the desktop: a test that started it would
# keep CTest waiting on its pipe for the rest of the run. Once the Windows build has made the
# keeper (tests/support/wine_desktop_keeper.cpp), it starts the desktop on the log and holds it
# until the session ends; before that build there is no test to protect.
keelo_wine_desktop_keep() {
  local keeper=${KEELO_WINE_DESKTOP_KEEPER:-$(dirname "$WINEPREFIX")/tests/support/wine_desktop_keeper.exe}
  [[ -f $keeper ]] || return 0
  local ready=$keelo_wine_session_dir/desktop-ready
  rm -f "$ready"
  wine "$keeper" "Z:$ready" </dev/null >>"$keelo_wine_log" 2>&1 9>&- &
  local pid=$! tries=0
  until [[ -e $ready ]]; do
    if ! kill -0 "$pid" 2>/dev/null || ((++tries > 400)); then
      keelo_wine_fail "the desktop keeper did not start Wine's desktop"
      return 1
    fi
    sleep 0.05
  done
}

# Ends the server before the display, so that Wine's desktop never sees its X connection break.
keelo_wine_session_end() {
  if [[ -d $WINEPREFIX ]]; then
    keelo_wine_quiet wineserver -k || true
    keelo_wine_quiet wineserver -w || true
  fi
  keelo_xvfb_stop
  rm -f "$keelo_wine_session_dir/display"
}

keelo_wine_prune_users() {
  local user
  for user in "$keelo_wine_session_dir"/users/*; do
    [[ -e $user ]] || continue
    kill -0 "${user##*/}" 2>/dev/null || rm -f "$user"
  done
}

keelo_wine_end_if_unused() {
  keelo_wine_prune_users
  if ! compgen -G "$keelo_wine_session_dir/users/*" >/dev/null &&
    [[ -e $keelo_wine_session_dir/display ]]; then
    keelo_wine_session_end
  fi
}

# keelo_wine_session_acquire PREFIX: joins the prefix's session, beginning it if needed, and
# exports the Wine environment and DISPLAY. The calling shell's pid is the user.
keelo_wine_session_acquire() {
  keelo_wine_env "$1"
  keelo_wine_lock
  mkdir -p "$keelo_wine_session_dir/users"
  keelo_wine_end_if_unused
  if [[ -e $keelo_wine_session_dir/display ]]; then
    # Join on the session's display even if ours differs: Wine's desktop lives there.
    DISPLAY=$(<"$keelo_wine_session_dir/display")
    export DISPLAY
  elif ! keelo_wine_session_begin; then
    keelo_wine_session_end
    keelo_wine_unlock
    return 1
  fi
  touch "$keelo_wine_session_dir/users/$$"
  keelo_wine_unlock
}

keelo_wine_session_release() {
  keelo_wine_lock
  rm -f "$keelo_wine_session_dir/users/$$"
  keelo_wine_end_if_unused
  keelo_wine_unlock
}
