# Sourced, not run (POSIX sh): whether this machine runs 32-bit x86 programs, and how Wine is
# started here. Used by scripts/test.sh, scripts/deps.sh and scripts/test.d/30-wine.sh.
#
# kdx_runs_32bit   true where the kernel runs 32-bit programs. Some 64-bit kernels do not (built
#                  without IA-32 emulation, or with ia32_emulation=0): there a 32-bit program,
#                  Wine's 32-bit loader included, ends in "Exec format error", however well its
#                  packages installed. The answer is exported in KDX_32BIT (yes or no), so that
#                  whatever starts afterwards asks no more. Set beforehand, KDX_32BIT decides
#                  without a probe: KDX_32BIT=no on a machine that runs them takes the path of
#                  one that does not (no wine32, 32-bit scenarios skipped).
# kdx_wine_setup   exports KDX_WINE, the command that starts a 64-bit Windows program or one of
#                  Wine's own tools (wineboot, winepath, reg, start). Debian's `wine` starts
#                  wine32's loader whenever wine32 is installed, for 64-bit programs too, and
#                  that loader is what a kernel without 32-bit programs refuses. So where the
#                  machine runs no 32-bit programs, KDX_WINE is Wine's 64-bit loader itself (as
#                  the `wine` wrapper picks it when wine32 is missing, with WINELOADER naming
#                  it); elsewhere it is plain `wine`. A KDX_WINE set beforehand is kept.

kdx_runs_32bit() {
  case ${KDX_32BIT:-} in
  yes) return 0 ;;
  no) return 1 ;;
  '') ;;
  *)
    echo "KDX_32BIT is '$KDX_32BIT': yes, no or unset (asks the machine)" >&2
    exit 2
    ;;
  esac
  # The probe: the smallest static i386 program (no library, no loader), which exits with 42.
  # It needs nothing installed, so deps.sh can ask before any i386 package is there.
  kdx_probe_dir=$(mktemp -d "${TMPDIR:-/tmp}/kdx-bitness.XXXXXX") || exit 1
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\137\000\000\000\137\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\061\333\263\052\315\200' \
    >"$kdx_probe_dir/probe32"
  printf '#!/bin/sh\nexit 42\n' >"$kdx_probe_dir/probe-script"
  chmod +x "$kdx_probe_dir/probe32" "$kdx_probe_dir/probe-script"
  KDX_32BIT=no
  if "$kdx_probe_dir/probe32" 2>/dev/null; [ $? -eq 42 ]; then
    KDX_32BIT=yes
  elif "$kdx_probe_dir/probe-script" 2>/dev/null; [ $? -ne 42 ]; then
    # Not the kernel's answer: the folder allows no programs at all (mounted noexec).
    rm -rf "$kdx_probe_dir"
    echo "cannot tell whether this machine runs 32-bit programs: ${TMPDIR:-/tmp} runs no" \
      "programs (set TMPDIR to a folder that does, or KDX_32BIT to yes or no)" >&2
    exit 1
  fi
  rm -rf "$kdx_probe_dir"
  export KDX_32BIT
  [ "$KDX_32BIT" = yes ]
}

kdx_wine_setup() {
  if [ -z "${KDX_WINE:-}" ]; then
    if kdx_runs_32bit; then
      KDX_WINE=wine
    else
      for kdx_loader in /usr/lib/wine/wine64 "$(command -v wine64 || true)"; do
        [ -n "$kdx_loader" ] && [ -x "$kdx_loader" ] && break
        kdx_loader=
      done
      if [ -z "$kdx_loader" ]; then
        echo "this machine runs no 32-bit programs and Wine's 64-bit loader is missing" \
          "(package wine64)" >&2
        exit 1
      fi
      KDX_WINE=$kdx_loader
      # The loader Wine starts further processes with.
      WINELOADER=$kdx_loader
      export WINELOADER
    fi
  fi
  export KDX_WINE
}
