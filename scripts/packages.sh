# The Debian packages each command needs (sourced by the scripts).
# shellcheck disable=SC2034
build_packages=(cmake g++ make pkg-config libpng-dev zlib1g-dev libx11-dev libxext-dev)
display_packages=(xvfb x11-utils xdotool)
test_packages=(googletest libgtest-dev libbenchmark-dev libxtst-dev clang libclang-rt-14-dev libpixman-1-dev)
