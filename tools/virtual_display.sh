# Sourced by run.sh and the window benchmarks: a virtual display with openbox, for the
# caller to tear down on exit. Sets DISPLAY. Needs Xvfb, xdpyinfo and openbox.
start_virtual_display() {
  local display=:$((200 + RANDOM % 300))
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  virtual_xvfb=$!
  export DISPLAY=$display
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  openbox >/dev/null 2>&1 &
  virtual_wm=$!
  sleep 1
}

stop_virtual_display() {
  kill "${virtual_wm:-}" "${virtual_xvfb:-}" 2>/dev/null || true
}
