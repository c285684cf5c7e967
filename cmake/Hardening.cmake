# The hardening Debian builds its packages with, for the optimised builds the package is
# made from: fortified libc calls (which need optimisation), stack protection, position-
# independent executables, and relocations made read-only and bound at start.
# Position independence comes from CMake, so that executables get -fPIE and -pie while the
# code linked into the keyring module gets -fPIC.
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
include(CheckPIESupported)
check_pie_supported()
set(_optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
add_compile_options(
  "$<${_optimised}:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2;-fstack-protector-strong>")
add_link_options("$<${_optimised}:-Wl,-z,relro,-z,now>")
