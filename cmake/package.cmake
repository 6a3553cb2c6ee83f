# The Debian packages (`make package`, or cpack in a build folder), made from
# the installed tree, and the tests of that tree, the packages and the
# desktop data.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME delvora)
set(CPACK_PACKAGE_VENDOR Quorvane)
set(CPACK_PACKAGE_CONTACT "Quorvane <support@quorvane.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.quorvane.example/delvora")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${DELVORA_DEBIAN_REVISION})
set(CPACK_DEBIAN_PACKAGE_SOURCE delvora)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)

# One package per install component (cmake/install.cmake): the converter
# alone needs only the C and C++ runtimes, which dpkg-shlibdeps finds.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL convert)
set(CPACK_DEBIAN_CONVERT_PACKAGE_NAME delvora-convert)
set(CPACK_DEBIAN_CONVERT_DESCRIPTION [=[convert delimited text files to tab-separated files
delvora-convert converts delimited text files (CSV with a comma, a comma and
a space, a semicolon, a tab or any delimiter text) into tab-separated .tsv
files, in batches, keeping each file's byte-order mark. A result replaces an
older one only when it is complete. It reads quoted CSV on request.
.
This package holds the command-line program, for scripts and terminals; the
desktop program is in the package delvora.]=])
if(TARGET delvora)
  list(APPEND CPACK_COMPONENTS_ALL window)
  set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME delvora)
  # The Qt libraries come from dpkg-shlibdeps. Loaded at run time, and so
  # named here: the platform plugins the window needs to open at all, and
  # Liberation Sans, Arial's metric twin, which the window's fixed layout is
  # measured for (without it Arial resolves to a wider font that clips).
  set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS
    "delvora-convert (= ${PROJECT_VERSION}-${DELVORA_DEBIAN_REVISION}), qt6-qpa-plugins, fonts-liberation")
  set(CPACK_DEBIAN_WINDOW_DESCRIPTION [=[convert delimited text files to tab-separated files, in a window
Delvora converts delimited text files (CSV with a comma, a comma and a space,
a semicolon, a tab or any delimiter text) into tab-separated .tsv files, in
batches, keeping each file's byte-order mark. A result replaces an older one
only when it is complete.
.
This package holds the desktop program. Its command-line twin for scripts,
delvora-convert, which writes byte for byte the same files, comes with it.]=])
endif()

# Archives dated by the last commit rather than by the build
# (cmake/source-date.cmake), whoever runs cpack.
set(delvora_cpack_settings ${CMAKE_BINARY_DIR}/CPackSettings.cmake)
file(WRITE ${delvora_cpack_settings}
  "include(${CMAKE_CURRENT_LIST_DIR}/source-date.cmake)\n"
  "delvora_source_date_epoch(${CMAKE_SOURCE_DIR} epoch)\n"
  "set(ENV{SOURCE_DATE_EPOCH} \${epoch})\n")
set(CPACK_PROJECT_CONFIG_FILE ${delvora_cpack_settings})
include(CPack)

if(NOT DELVORA_TESTS OR DELVORA_SANITIZE OR NOT TARGET delvora)
  # A package of sanitised programs is nobody's package.
  return()
endif()

# Loaded into the real, installed window (LD_PRELOAD) by the tests below: it
# reports what the window shows once it is up, then ends it. The program
# itself carries no switch for this.
add_library(delvora_window_probe MODULE tests/package/window_probe.cpp)
target_link_libraries(delvora_window_probe PRIVATE Qt6::Widgets)

set(delvora_package_test ${CMAKE_SOURCE_DIR}/tests/package/package_test.sh)
foreach(mode desktop-data command-line window-class install-tree package reproducible)
  add_test(NAME package_${mode}
    COMMAND bash ${delvora_package_test} ${mode}
      --source ${CMAKE_SOURCE_DIR}
      --build ${CMAKE_BINARY_DIR}
      --probe $<TARGET_FILE:delvora_window_probe>
      --version ${DELVORA_VERSION_TEXT}
      --project-version ${PROJECT_VERSION}
      --libdir ${CMAKE_INSTALL_LIBDIR})
  set_tests_properties(package_${mode} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
endforeach()
# They install the same build tree: one at a time.
set_tests_properties(package_install-tree package_package package_reproducible
  PROPERTIES RESOURCE_LOCK delvora_install)
# Two X servers started at the same moment by -displayfd can both be handed
# the same display: the tests that start one take turns.
set_tests_properties(package_window-class PROPERTIES RESOURCE_LOCK delvora_x_display)
# A second build of the two programs, from nothing.
set_tests_properties(package_reproducible PROPERTIES TIMEOUT 1200)
