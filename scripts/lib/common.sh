# Shared helpers of the scripts in this folder. Source it; do not run it.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Packages every build needs: compiler, CMake and Ninja, GoogleTest, the
# OpenCV 4 component packages (headers and libraries without the umbrella
# package's unused modules) and FFmpeg's libavutil, whose log tells broken
# frames.
BUILD_PACKAGES="g++ cmake ninja-build pkg-config libgtest-dev libbenchmark-dev
  libopencv-core-dev libopencv-imgproc-dev libopencv-videoio-dev
  libopencv-imgcodecs-dev libopencv-highgui-dev libavutil-dev"

# Installs whichever of the named Debian packages are missing. Quiet and
# quick when everything is there already.
ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq </dev/null
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null >/dev/null
}

# Configures and builds into $1 with build type $2 and extra CMake flags.
# The compiler's output is shown only when the build fails.
build_tree() {
  local dir=$1 type=$2
  shift 2
  echo "Building $type in $dir ..."
  mkdir -p "$dir"
  if ! { cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" &&
         cmake --build "$dir" -j "$(nproc)"; } >"$dir/build.log" 2>&1; then
    tail -n 40 "$dir/build.log"
    echo "build failed; the whole log is $dir/build.log" >&2
    return 1
  fi
}

# The Release build of the analyser and its tools, without the tests; `dukon`
# and tools/ end up below $RELEASE_DIR.
RELEASE_DIR="$ROOT/build-release"
build_release() {
  ensure_packages $BUILD_PACKAGES
  build_tree "$RELEASE_DIR" Release -DDUKON_TESTS=OFF
}
