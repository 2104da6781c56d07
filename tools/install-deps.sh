# Sourced by run.sh and test.sh: installs, from Debian's or Ubuntu's
# packages, whatever of the build and test tools is missing.
install_missing_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

BUILD_PACKAGES=(cmake make g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
                binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev)
RELEASE_PACKAGES=(zip nsis icoutils osslsigncode python3)
RUN_PACKAGES=(wine wine64 xvfb imagemagick)
TEST_PACKAGES=(googletest xdotool icoutils nsis clang-tidy cppcheck clang-tools llvm libc++-dev
               libwine-dev python3 python3-yaml python3-jsonschema osslsigncode openssl zip unzip)
