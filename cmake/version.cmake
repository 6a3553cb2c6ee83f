# The version lives in project(VERSION): the code, the Windows resource, the
# package and the programs' --version all take it from here. The product has
# always shown it as the major number and two digits of the minor: 7.00.
if(PROJECT_VERSION_MINOR LESS 10)
  set(DELVORA_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.0${PROJECT_VERSION_MINOR}")
else()
  set(DELVORA_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
endif()

set(DELVORA_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${DELVORA_GENERATED_DIR}/delvora_version.h @ONLY)

# Stand-in for the versions of a build between releases: the package's
# (file names) and Windows's four numbers (version resources, installer).
set(DELVORA_PACKAGE_VERSION "${PROJECT_VERSION}")
set(DELVORA_WINDOWS_VERSION "${PROJECT_VERSION}.0")
