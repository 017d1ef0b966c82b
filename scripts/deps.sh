#!/usr/bin/env bash
# Installs the Debian 12 packages Vettrix builds, tests and runs with.
# Quiet and quick when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev libgl-dev qt6-tools-dev libqt6opengl6-dev doxygen
  libcurl4-openssl-dev libssl-dev zlib1g-dev
  # Archived pages (--warc) sent with "Content-Encoding: br" are decoded with
  # it; wget makes the archives the tests and the benchmark check.
  libbrotli-dev wget
  # Makes the certificates of the loopback https servers in the tests; an
  # HTTP/2 server for the batch fetcher's tests.
  openssl nghttp2-server
  libfreetype-dev libfontconfig-dev fontconfig fonts-liberation fonts-wine
  fonts-dejavu-core fonts-dejavu-extra qt6-wayland
  libpng-dev nlohmann-json3-dev
  # Every occurrence of the markers in one pass over a page.
  libvectorscan-dev
  # Rule files of the user's own are YAML.
  libyaml-cpp-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev libcpp-httplib-dev
  clang-format xvfb xauth python3
  # The SARIF report is validated against its published schema in the tests.
  python3-jsonschema
  # The context scanner's reference parser, and real pages to compare it with
  # on (the Python documentation, some 500 pages of HTML).
  libgumbo-dev python3.11-doc
  # Peers the benchmarks compare with (bench/app/vs_curl.py, vs_grep.py), and
  # GNU time for the peak memory they report.
  curl ripgrep time
  # CI's second compiler and its libFuzzer (scripts/fuzz.sh); the Debian
  # package, the manual pages and the bash completions, and the tools their
  # tests run.
  clang libclang-rt-14-dev dpkg-dev groff-base man-db bash-completion
  # The window's test through the accessibility bus on a real X server: its
  # own session bus, at-spi2-core, the AT-SPI client for Python, and X input.
  dbus at-spi2-core python3-gi gir1.2-atspi-2.0 xdotool
  # The package test holds the packages to Debian's own checks (lintian) and
  # validates the window's AppStream metainfo (appstreamcli).
  lintian appstream
  # The scheduler tests start a one-node Slurm cluster of their own (slurmctld,
  # slurmd, munged; the packages leave their services stopped) and run shards
  # with GNU parallel; wget writes the web archives the WARC tests and
  # benchmark read.
  slurm-wlm munge parallel wget
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "vettrix: these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
