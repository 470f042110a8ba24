# Installs the Debian packages a task needs, only those that are missing.
# Sourced by ./test.sh and ./run.sh; works as root on a fresh Debian 12.
kalvoran_packages_for() {
  case $1 in
    build) echo cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev fonts-liberation qt6-translations-l10n libssl-dev ;;
    test)  echo libgtest-dev libgmock-dev php-cli php-fpm nginx-light curl tinyproxy clang libclang-rt-14-dev openssl python3 \
                $(kalvoran_packages_for package) desktop-file-utils appstream lintian xvfb xauth xdotool \
                weston qt6-wayland imagemagick ;;
    run)   echo php-cli qt6-translations-l10n ;;
    demo)  echo php-cli xclip ;;
    package) echo dpkg-dev file ;;
    windows) echo g++-mingw-w64-x86-64-posix wine64 googletest xvfb xauth xdotool xclip imagemagick nsis osslsigncode file \
                  fonts-liberation fonts-dejavu-core ;;
  esac
}

kalvoran_install_packages() {
  local want=() missing=() p
  for task in "$@"; do want+=($(kalvoran_packages_for "$task")); done
  for p in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
