# Writes the SHA-256 of each of our in-process plug-ins as initialiser lines for the program:
#   cmake -DOUT=<file> -DFILES=<plug-in>|<plug-in>... -P OwnPlugins.cmake
# The program runs a plug-in in its own process only when the file beside it has one of these
# sums, so that another file that takes one of our names runs apart like any other plug-in.
string(REPLACE "|" ";" files "${FILES}")
set(text "// Written by the build (cmake/OwnPlugins.cmake): name and SHA-256 of each own plug-in.\n")
foreach(file IN LISTS files)
  file(SHA256 "${file}" sum)
  get_filename_component(name "${file}" NAME)
  string(APPEND text "{\"${name}\", \"${sum}\"},\n")
endforeach()
# Only a changed sum touches the file, so that nothing rebuilds for nothing.
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
  if(old STREQUAL text)
    return()
  endif()
endif()
file(WRITE "${OUT}" "${text}")
