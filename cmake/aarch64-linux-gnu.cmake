# Cross-compiles the device build for the board (AArch64 Linux) with
# Debian's cross compiler and the board's libraries from its arm64 packages:
#   cmake -S . -B build/board -G Ninja -DVEZARA_BOARD=device -DVEZARA_BENCH=OFF \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
# (the benchmarks need Google Benchmark's arm64 package as well).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# libdrm and libgpiod are found through the arm64 packages' pkg-config files
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig")
