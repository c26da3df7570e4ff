# Sourced by scripts that run the Windows programs: starts Xvfb (unless a
# display is given) and a persistent wineserver for each build's private
# prefix. zk_wine_session_start BUILD_DIR...; zk_wine_session_stop.
# Programs are started through each build's own wine-run, which picks the
# Wine loader of that build's architecture.

zk_wine_session_start() {
  ZK_SESSION_BUILDS=("$@")
  export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 WINEDEBUG=-all
  ZK_XVFB_PID=
  if [ -z "${DISPLAY:-}" ] || [ -n "${ZK_FORCE_XVFB:-}" ]; then
    local n
    for n in $(seq 91 140); do
      # A display whose server was killed leaves its lock (naming the dead
      # process) and its socket behind; such a slot is free again. Left
      # alone, fifty killed sessions would use up every slot.
      if [ -e "/tmp/.X$n-lock" ]; then
        local owner
        owner=$(tr -d ' \n' < "/tmp/.X$n-lock" 2>/dev/null)
        if [ -n "$owner" ] && ! kill -0 "$owner" 2>/dev/null; then
          rm -f "/tmp/.X$n-lock" "/tmp/.X11-unix/X$n"
        fi
      fi
      [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      ZK_XVFB_PID=$!
      local i
      for i in $(seq 1 100); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        kill -0 "$ZK_XVFB_PID" 2>/dev/null || break
        sleep 0.05
      done
      if [ -e "/tmp/.X11-unix/X$n" ]; then
        export DISPLAY=":$n"
        break
      fi
      ZK_XVFB_PID=
    done
    if [ -z "${DISPLAY:-}" ]; then
      echo "wine-session: no X display could be started (displays :91 to :140 are taken)" >&2
      return 1
    fi
  fi
  local b
  for b in "${ZK_SESSION_BUILDS[@]}"; do
    "$b/wine-run" cmd /c exit >/dev/null 2>&1 || true
    "$b/wine-run" --server -p >/dev/null 2>&1 || true
  done
}

zk_wine_session_stop() {
  local b
  for b in "${ZK_SESSION_BUILDS[@]}"; do
    "$b/wine-run" --server -k >/dev/null 2>&1 || true
  done
  if [ -n "${ZK_XVFB_PID:-}" ]; then
    kill "$ZK_XVFB_PID" 2>/dev/null || true
    wait "$ZK_XVFB_PID" 2>/dev/null || true
  fi
}
