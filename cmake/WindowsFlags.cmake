# Compiler and linker settings of the Windows build; included before any target is made.
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
# Doubles in SSE2, as on x86-64: x87 keeps extended precision in registers (results would depend
# on register spills) and is several times slower for the resampler.
add_compile_options(-msse2 -mfpmath=sse)
add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--large-address-aware)

