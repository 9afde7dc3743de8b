# Shared steps of run.sh and test.sh: install what is missing, configure, build.
# Sourced, not run.

ZORV_PACKAGES=(
  cmake ninja-build g++ pkg-config ccache clang-format clang libclang-rt-14-dev
  juce-modules-source-data
  libgtest-dev libgmock-dev libbenchmark-dev
  libsndfile1-dev libsmf-dev libssl-dev libcurl4-openssl-dev libarchive-dev
  lv2-dev liblilv-dev lilv-utils
  ca-certificates openssl python3
  locales sox
  libwebkit2gtk-4.1-dev libgtk-3-dev libx11-dev libxtst-dev zlib1g-dev
  xvfb xauth chromium fonts-dejavu-core
)
# Node.js and npm come from Debian unless the machine already has them
# (another distribution of Node.js ships its own npm, which Debian's npm
# package would conflict with).
command -v node >/dev/null 2>&1 || ZORV_PACKAGES+=(nodejs)
command -v npm >/dev/null 2>&1 || ZORV_PACKAGES+=(npm)

zorv_log() { printf '\033[1m==> %s\033[0m\n' "$*" >&2; }

# Installs the Debian packages of ZORV_PACKAGES that are not installed yet.
zorv_install_packages() {
  local missing=()
  local pkg
  for pkg in "${ZORV_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  zorv_log "Installing Debian packages: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      sudo="sudo"
    else
      echo "error: missing packages (${missing[*]}) and not root; install them and re-run" >&2
      return 1
    fi
  fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Installs the browser tests' npm packages from the committed lock file.
zorv_install_npm_packages() {
  if [ -d tests/ui/node_modules/playwright-core ] && [ tests/ui/node_modules/.package-lock.json -nt tests/ui/package-lock.json ]; then
    return 0
  fi
  zorv_log "Installing the browser tests' npm packages"
  npm ci --prefix tests/ui --no-audit --no-fund
}

# Compiled objects are kept in the user's compiler cache (ccache, outside the
# clone), so another clone on the same machine, CI's fresh clone included,
# compiles only what changed. Paths inside the clone are hashed relative to
# it and the build folder's own path is left out, so two clones at different
# places share their objects. Adds the launcher options to the named array.
zorv_use_compiler_cache() {
  local -n zorv_cache_options="$1"
  command -v ccache >/dev/null 2>&1 || return 0
  export CCACHE_BASEDIR="$PWD"
  export CCACHE_NOHASHDIR=1
  export CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-8G}"
  zorv_cache_options+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
}

# zorv_build DIR [cmake options...] [-- targets...]: configures and builds
# (everything, or the targets after --).
zorv_build() {
  local dir="$1"
  shift
  local options=() targets=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do options+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  targets=("$@")
  zorv_log "Configuring and building in ${dir}"
  zorv_use_compiler_cache options
  cmake -S . -B "$dir" -G Ninja "${options[@]}" >/dev/null
  if [ ${#targets[@]} -gt 0 ]; then
    cmake --build "$dir" --parallel "$(nproc)" --target "${targets[@]}"
  else
    cmake --build "$dir" --parallel "$(nproc)"
  fi
}

# A decimal-comma locale, so the tests can prove that documents do not follow
# the host's locale.
zorv_prepare_test_locale() {
  if locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    return 0
  fi
  zorv_log "Generating the de_DE.UTF-8 locale for the tests"
  localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "warning: could not generate de_DE.UTF-8" >&2
}

# Fails when a C++ file of ours is not in the house style (.clang-format);
# `clang-format -i FILE` mends one.
zorv_check_format() {
  local files
  mapfile -t files < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find source kernel tools tests bench sdk-compat -name '*.cpp' -o -name '*.h')
  zorv_log "Checking the C++ style of ${#files[@]} files"
  clang-format --dry-run --Werror "${files[@]}"
}
