# The Debian packages the calculator's two commands need, in one place, and
# how they are brought in. Sourced by scripts/build-and-start and
# scripts/test-all; README's package table says the same in prose.
#
# Each row: the package, the command that needs it (start: building and
# starting the calculator; test: running every test, which needs the start
# packages too), whether that command can go on without it, and what is lost
# when it does.

package_table() {
  cat <<'TABLE'
g++                 start  required  the C++ compiler
cmake               start  required  the build
make                start  required  the build tool CMake drives
libfast-float-dev   start  required  the number reader (header-only, build time only)
pkgconf             start  optional  line editing, history and completion at a terminal
libedit-dev         start  optional  line editing, history and completion at a terminal
clang               test   required  the second compiler, the sanitizer builds and the fuzzer
libclang-rt-14-dev  test   required  clang's sanitizer and fuzzer run-times
libgtest-dev        test   required  the unit, console, terminal and install tests
tmux                test   required  the terminal tests' resizes at a terminal that rewraps its rows
libbenchmark-dev    test   required  the benchmarks, built with the tests
libmpfr-dev         test   required  the elementary functions' comparison with correctly rounded values
sollya              test   optional  re-creating the math tables' polynomials (calculator/math/generators)
valgrind            test   required  the leak checks
time                test   required  the memory soak's peak-memory reading
groff-base          test   required  the manual page check
man-db              test   required  the manual page check
dpkg-dev            test   required  the Debian packages
lintian             test   required  the Debian packages' check
file                test   required  the Debian packages' check
binutils            test   required  the exported-symbols check
python3             test   required  the embedding test through ctypes
python3-dev         test   required  the Python package's module
python3-setuptools  test   required  the Python package's install into a virtual environment
python3-venv        test   required  the Python package's install into a virtual environment
python3-pip         test   required  the Python package's install into a virtual environment
python3-pytest      test   required  the Python package's tests
python3-simpleeval  test   optional  the Python benchmark's comparison with simpleeval
python3-asteval     test   optional  the Python benchmark's comparison with asteval
abigail-tools       test   required  the comparison of the library's ABI with its baseline
emscripten          test   optional  the web page's and the npm package's build and tests
npm                 test   optional  packing the npm package and installing it in its test
brotli              test   optional  the web page's Brotli-compressed files (gzip alone without it)
node-typescript     test   optional  the npm package's TypeScript declarations check
chromium            test   optional  the web page's browser tests
chromium-driver     test   optional  the web page's browser tests
python3-selenium    test   optional  the web page's browser tests
g++-mingw-w64-x86-64-posix test optional  the Windows build (MinGW-w64) and its tests
wine                test   optional  running the Windows build's tests
wine64              test   optional  running the Windows build's tests
TABLE
}

# True when dpkg knows the package as installed, or an installed package
# provides it (a Node.js build that brings its own npm, say).
package_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed' ||
    dpkg-query -W -f='${db:Status-Abbrev}|${Provides}\n' 2>/dev/null |
    awk -F'|' -v wanted="$1" '$1 ~ /^ii/ {
        count = split($2, provided, /, */)
        for (i = 1; i <= count; ++i) { split(provided[i], words, " "); if (words[1] == wanted) found = 1 }
      }
      END { exit !found }'
}

# Runs a command as root: directly, or through sudo when that needs no
# password. Fails when neither is possible.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    sudo -n "$@"
  else
    return 1
  fi
}

# apt-get's chatter goes to a log that is shown only when it fails.
install_packages() {
  local log status=0
  log=$(mktemp)
  {
    as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 update -qq &&
      as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq "$@"
  } >"$log" 2>&1 || status=$?
  [ "$status" -eq 0 ] || tail -n 20 "$log" >&2
  rm -f "$log"
  return "$status"
}

# The rows of the table that `command` needs (test needs start's too) and
# that are not installed: "package need purpose" per line.
missing_packages() {
  local command=$1 package needed_by need purpose
  package_table | while read -r package needed_by need purpose; do
    if [ "$needed_by" = start ] || [ "$needed_by" = "$command" ]; then
      package_installed "$package" || printf '%s %s %s\n' "$package" "$need" "$purpose"
    fi
  done
}

# Installs what `command` needs and lacks. What cannot be installed is
# named in one line each on standard error; the function fails when a
# required package is among them, and goes on without an optional one.
ensure_packages() {
  local command=$1 missing names required optional package need purpose
  missing=$(missing_packages "$command")
  [ -n "$missing" ] || return 0
  names=$(printf '%s\n' "$missing" | cut -d' ' -f1 | tr '\n' ' ')
  # The required ones first, so that an optional one that cannot be had
  # does not keep them out.
  required=$(printf '%s\n' "$missing" | awk '$2 == "required" {printf "%s ", $1}')
  optional=$(printf '%s\n' "$missing" | awk '$2 == "optional" {printf "%s ", $1}')
  echo "installing: $names" >&2
  if { [ -z "$required" ] || install_packages $required; } &&
    { [ -z "$optional" ] || install_packages $optional; }; then
    return 0
  fi
  local lacking_required=0
  while read -r package need purpose; do
    package_installed "$package" && continue
    if [ "$need" = required ]; then
      echo "missing package $package (needed for $purpose); install it with: sudo apt-get install $package" >&2
      lacking_required=1
    else
      echo "missing package $package: going on without $purpose (install it with: sudo apt-get install $package)" >&2
    fi
  done <<<"$missing"
  return "$lacking_required"
}
