#!/usr/bin/env bash
# Builds the program and runs it on the bundled demo, which the build writes beside the
# executable (build/app/): the definitions kdx_imp.tab and kdx_exp.tab, and build/app/demo/.
#
#   scripts/run-demo.sh           receive mode: opens the "received attachment"
#                                 demo/mail/pob1_pb.kdx; "Provést akci" copies it into
#                                 demo/Velkor/Prijem/ as POB1_PB.KDX
#   scripts/run-demo.sh send      send mode: lists the send definitions; "Provést akci" hands
#                                 demo/Velkor/Odeslani/SKLAD.KDX to the mail client
#   scripts/run-demo.sh settings  configuration mode (/SET)
# KDX_BUILD_DIR chooses the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build=${KDX_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "${KDX_JOBS:-$(nproc)}" --target KDXMngr kdx_demo
program=$build/app/KDXMngr
demo=$build/app/demo
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  # No desktop (a fresh server, CI): show the receive job on a virtual display instead, as a
  # user would do it: the window opens, Enter presses "Provést akci", Enter confirms the
  # closing text. Screenshots of both moments land in the build folder.
  if [ "${1:-receive}" != receive ]; then
    echo "No display: run it on a desktop, or under a virtual one: xvfb-run -a $0 ${1:-}" >&2
    exit 1
  fi
  rm -f "$demo/Velkor/Prijem/POB1_PB.KDX"
  echo "No display: running the receive demo on a virtual display (Xvfb)."
  KDX_DEMO_PROGRAM=$program KDX_DEMO_FILE=$PWD/$demo/mail/pob1_pb.kdx KDX_DEMO_SHOTS=$PWD/$build \
    xvfb-run -a -s "-screen 0 800x600x24" bash -c '
      "$KDX_DEMO_PROGRAM" "$KDX_DEMO_FILE" & pid=$!
      for _ in $(seq 100); do
        win=$(xdotool search --name "KDX Manager" 2>/dev/null | head -n 1)
        [ -n "$win" ] && break
        sleep 0.1
      done
      sleep 1
      import -window root "$KDX_DEMO_SHOTS/demo-receive-1.png"
      xdotool windowfocus --sync "$win" key Return
      sleep 1.5
      import -window root "$KDX_DEMO_SHOTS/demo-receive-2.png"
      xdotool key Return
      wait "$pid"'
  echo "Screenshots: $build/demo-receive-1.png (the receive page), $build/demo-receive-2.png (the closing text)"
  echo "Copied into $demo/Velkor/Prijem/:"
  ls -l "$demo/Velkor/Prijem/"
  exit 0
fi
case "${1:-receive}" in
  receive)
    echo "Receive mode: $demo/mail/pob1_pb.kdx -> $demo/Velkor/Prijem/"
    "$program" "$PWD/$demo/mail/pob1_pb.kdx"
    ls -l "$demo/Velkor/Prijem/"
    ;;
  send)
    echo "Send mode: the send definitions of $build/app/kdx_exp.tab"
    "$program"
    ;;
  settings)
    "$program" /SET
    ;;
  *)
    echo "usage: $0 [receive|send|settings]" >&2
    exit 2
    ;;
esac
