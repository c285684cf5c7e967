# The hardening Debian builds its packages with, for the optimised builds the package is
# made from: fortified libc calls (which need optimisation), stack protection, position-
# independent executables, and relocations made read-only and bound at start.
set(_optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
add_compile_options(
  "$<${_optimised}:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2;-fstack-protector-strong;-fPIE>")
add_link_options("$<${_optimised}:-pie;-Wl,-z,relro,-z,now>")
