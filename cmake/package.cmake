# The Debian package (`make package`, or cpack in a build folder), made from
# the installed tree, and the tests of that tree, the package and the
# desktop data.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME delvora)
set(CPACK_PACKAGE_VENDOR Quorvane)
set(CPACK_PACKAGE_CONTACT "Quorvane <support@quorvane.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.quorvane.example/delvora")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert delimited text files to tab-separated files")
# Wrapped by hand: the package's description is shown as it stands.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Delvora converts delimited text files (CSV with a comma, a comma and a"
  "space, a semicolon, a tab or any delimiter text) into tab-separated .tsv"
  "files, in batches, keeping each file's byte-order mark. A result replaces"
  "an older one only when it is complete."
  "."
  "The package holds the desktop program and delvora-convert, its command-line"
  "twin for scripts, which writes byte for byte the same files.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The Qt libraries come from dpkg-shlibdeps; the platform plugins the window
# needs to open at all are loaded at run time, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
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
foreach(mode desktop-data command-line install-tree package)
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
# Both install the same build tree: one at a time.
set_tests_properties(package_install-tree package_package PROPERTIES RESOURCE_LOCK delvora_install)
