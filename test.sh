#!/usr/bin/env bash
# Sets up what is missing, then builds and runs every test four times:
# a normal build, the Windows build (cross-compiled with MinGW-w64: the
# core's tests and the Win32 window's run under Wine), an AddressSanitizer +
# UndefinedBehaviorSanitizer build, and a ThreadSanitizer build of the core
# (Qt itself is not instrumented).
# Usage: ./test.sh [normal|windows|asan|tsan]...   (default: all four)
set -euo pipefail
cd "$(dirname "$0")"

jobs=$(nproc 2>/dev/null || echo 2)
builds=("$@")
[ ${#builds[@]} -gt 0 ] || builds=(normal windows asan tsan)

. tools/setup-packages.sh
tasks=(build test)
[[ " ${builds[*]} " != *" windows "* ]] || tasks+=(windows)
kalvoran_install_packages "${tasks[@]}"

run_build() {
  local name=$1; shift
  local dir=build/$name
  echo "== $name build"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== $name tests"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 300)
}

# Wine keeps its session a while for the next program: end it, together with
# any of its processes that the server's end left behind (they would wait for
# it for ever). Also when a Windows build or test fails.
# The window's tests have a session (and a display) of their own.
end_wine_session() {
  local prefix p
  for prefix in "$PWD/build/windows/wineprefix" "$PWD/build/windows/tests/win32/session/prefix" \
    "$PWD/build/windows/tests/win32/installer/session/prefix"; do
    [ -d "$prefix" ] || continue
    WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
    for p in /proc/[0-9]*; do
      if tr '\0' '\n' 2>/dev/null <"$p/environ" | grep -qxF "WINEPREFIX=$prefix"; then
        kill -9 "${p#/proc/}" 2>/dev/null || true
      fi
    done
  done
  bash tests/win32/wine_gui_session.sh stop "$PWD/build/windows/tests/win32/session" /usr/lib/wine/wine64 \
    2>/dev/null || true
}
[[ " ${builds[*]} " != *" windows "* ]] || trap end_wine_session EXIT

# Newer kernels randomise mmap more than the sanitizer runtimes of this
# toolchain expect; without this they abort at start-up with a mapping error.
if [ "$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 0)" -gt 28 ]; then
  sysctl -qw vm.mmap_rnd_bits=28 2>/dev/null || true
fi

export QT_QPA_PLATFORM=offscreen
# Every test talks to servers of its own on loopback: a proxy of this
# machine's must not come between (the proxy tests set their own).
unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
for b in "${builds[@]}"; do
  case $b in
    normal) run_build normal ;;
    asan)   ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
            UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
            run_build asan -DKALVORAN_SANITIZE=ON ;;
    windows) end_wine_session  # a session left by an earlier run, perhaps with older programs
            # The Win32 window; its picture is compared with the Qt window's
            # when the normal build made one.
            qt_window=$PWD/build/normal/src/app/kalvoran-downloader
            [ -x "$qt_window" ] || qt_window=
            run_build windows -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/MinGW-w64.cmake" \
               -DKALVORAN_BUILD_APP=ON -DKALVORAN_QT_WINDOW="$qt_window"
            end_wine_session ;;
    tsan)   TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
            run_build tsan -DKALVORAN_TSAN=ON -DKALVORAN_BUILD_APP=OFF ;;
    *) echo "unknown build: $b (normal, windows, asan, tsan)" >&2; exit 2 ;;
  esac
done
echo "== all builds passed: ${builds[*]}"
