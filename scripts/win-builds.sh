# Sourced by the scripts that build or run the Windows programs. The same
# sources are built twice: 32-bit (the product, build/win) and 64-bit
# (build/win64). Callers set $root and $build.

zk_win_dir() {
  case $1 in
  32) echo "$build/win" ;;
  64) echo "$build/win64" ;;
  *) echo "unknown architecture $1" >&2; return 1 ;;
  esac
}

# zk_win_configure ARCH: configures (once; later calls are quick) the build
# of that architecture.
zk_win_configure() {
  local dir toolchain
  dir=$(zk_win_dir "$1")
  case $1 in
  32) toolchain=toolchain-mingw32.cmake ;;
  64) toolchain=toolchain-mingw64.cmake ;;
  esac
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" >/dev/null
}

# The architectures whose programs Wine can run on this machine, as the
# set-up probed them: "32 64", "64", "32" or nothing.
zk_runnable_arches() {
  cat "${ZK_DEPS:-/var/cache/zelkora-deps}/wine-arches" 2>/dev/null || true
}

# The build to run here: the 32-bit product where it can run, else 64-bit.
# ZK_ARCH=32|64 chooses. Prints nothing when neither runs.
zk_pick_arch() {
  local runnable
  runnable=" $(zk_runnable_arches) "
  if [ -n "${ZK_ARCH:-}" ]; then
    case $runnable in *" $ZK_ARCH "*) echo "$ZK_ARCH" ;; esac
    return 0
  fi
  case $runnable in
  *" 32 "*) echo 32 ;;
  *" 64 "*) echo 64 ;;
  esac
}
