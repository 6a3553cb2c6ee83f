# Compiler and linker flags as Debian builds its packages: dpkg-buildflags
# with every hardening feature (stack protector, fortify, PIE, full RELRO and
# bind-now). Prefixes of the source and build folders are mapped away so
# that two builds of one commit in different folders make the same files.
option(DELVORA_DPKG_BUILDFLAGS "Take compiler and linker flags from dpkg-buildflags" OFF)
if(NOT DELVORA_DPKG_BUILDFLAGS OR NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

find_program(DELVORA_DPKG_BUILDFLAGS_PROGRAM dpkg-buildflags REQUIRED)
foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
            ${DELVORA_DPKG_BUILDFLAGS_PROGRAM} --get ${kind}
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags_${kind} UNIX_COMMAND "${flags}")
endforeach()
# The presets' builds, not the packages' (debian/rules leaves this off and
# takes dpkg-buildflags' flags whole, -g and -O2 included). Without -g here:
# debug information holds paths as the compiler was given them, which a
# compiler cache may have rewritten relative to the build folder.
list(REMOVE_ITEM flags_CXXFLAGS -g)
# The build folder may lie inside the source folder; the last matching map
# wins, so it comes second. In front of the build type's own flags, which
# keep their optimisation level.
list(APPEND flags_CXXFLAGS
  -ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=.)
list(JOIN flags_CPPFLAGS " " cppflags)
list(JOIN flags_CXXFLAGS " " cxxflags)
list(JOIN flags_LDFLAGS " " ldflags)
set(CMAKE_CXX_FLAGS "${cppflags} ${cxxflags} ${CMAKE_CXX_FLAGS}")
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS "${ldflags} ${CMAKE_${kind}_LINKER_FLAGS}")
endforeach()
