# The installed tree (cmake --install, and the packages made from it), in two
# components, one Debian package each: `convert` (delvora-convert, its manual
# page and completion) and `window` (the window and its desktop data).
#
# The window finds its own files (skin, cursors, icon, Samples/) beside its
# executable, as it does in the build tree's bin/. On Windows that is bin/
# itself. Elsewhere the executable and its files live together in
# ${CMAKE_INSTALL_LIBDIR}/delvora/, and bin/delvora is a relative symbolic
# link to it: the program asks the system where its executable really is,
# which sees through the link. Desktop integration comes from share/linux/.
if(WIN32)
  if(TARGET delvora)
    install(TARGETS delvora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT window)
    install(DIRECTORY resources/ DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT window)
  endif()
  return()
endif()

set(delvora_linux ${CMAKE_SOURCE_DIR}/share/linux)
set(delvora_staged ${CMAKE_BINARY_DIR}/install-staged)
file(MAKE_DIRECTORY ${delvora_staged})

# The Debian revision of the packages: the upstream version is project()'s.
# The change log is written at every build: its date follows the last commit
# (cmake/source-date.cmake).
set(DELVORA_DEBIAN_REVISION 1)
add_custom_target(delvora_debian_changelog ALL
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
    -DINPUT=${delvora_linux}/changelog.Debian.in -DOUTPUT=${delvora_staged}/changelog.Debian
    -DPROJECT_VERSION=${PROJECT_VERSION} -DDELVORA_DEBIAN_REVISION=${DELVORA_DEBIAN_REVISION}
    -DDELVORA_VERSION_TEXT=${DELVORA_VERSION_TEXT}
    -P ${CMAKE_CURRENT_LIST_DIR}/debian-changelog.cmake
  BYPRODUCTS ${delvora_staged}/changelog.Debian
  VERBATIM)

# Manual pages and change logs go compressed, without a time stamp, so
# that two builds of the same sources make the same packages.
find_program(DELVORA_GZIP gzip REQUIRED)
set(delvora_pages delvora-convert)
if(TARGET delvora)
  list(APPEND delvora_pages delvora)
endif()
foreach(page ${delvora_pages})
  configure_file(${delvora_linux}/${page}.1.in ${delvora_staged}/${page}.1 @ONLY)
endforeach()
set(delvora_plain ${delvora_staged}/changelog.Debian ${CMAKE_SOURCE_DIR}/CHANGELOG.md)
set(delvora_compressed ${delvora_staged}/changelog.Debian.gz ${delvora_staged}/changelog.gz)
foreach(page ${delvora_pages})
  list(APPEND delvora_plain ${delvora_staged}/${page}.1)
  list(APPEND delvora_compressed ${delvora_staged}/${page}.1.gz)
endforeach()
foreach(plain compressed IN ZIP_LISTS delvora_plain delvora_compressed)
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${DELVORA_GZIP} -9n < ${plain} > ${compressed}
    DEPENDS ${plain}
    VERBATIM)
endforeach()
add_custom_target(delvora_compressed_docs ALL DEPENDS ${delvora_compressed})
add_dependencies(delvora_compressed_docs delvora_debian_changelog)

# Each package's copyright, change logs and lintian overrides, under its own
# name.
function(delvora_package_docs component package)
  set(doc ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package})
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${doc} RENAME copyright
          COMPONENT ${component})
  install(FILES ${delvora_staged}/changelog.gz ${delvora_staged}/changelog.Debian.gz
          DESTINATION ${doc} COMPONENT ${component})
  if(EXISTS ${delvora_linux}/lintian/${package})
    install(FILES ${delvora_linux}/lintian/${package}
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides COMPONENT ${component})
  endif()
endfunction()

# delvora-convert itself is installed by src/cli/.
install(FILES ${delvora_staged}/delvora-convert.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT convert)
install(FILES ${delvora_linux}/delvora-convert.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME delvora-convert COMPONENT convert)
delvora_package_docs(convert delvora-convert)

if(NOT TARGET delvora)
  return()  # a build of delvora-convert alone
endif()

set(DELVORA_APP_DIR ${CMAKE_INSTALL_LIBDIR}/delvora)
install(TARGETS delvora RUNTIME DESTINATION ${DELVORA_APP_DIR} COMPONENT window)
install(DIRECTORY resources/ DESTINATION ${DELVORA_APP_DIR} COMPONENT window)

file(RELATIVE_PATH delvora_link_target ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_LIBDIR}/delvora/delvora)
file(CREATE_LINK ${delvora_link_target} ${delvora_staged}/delvora SYMBOLIC)
install(FILES ${delvora_staged}/delvora DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT window)

set(DELVORA_APP_ID example.quorvane.Delvora)
install(FILES ${delvora_linux}/${DELVORA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT window)
install(FILES ${delvora_linux}/${DELVORA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT window)
install(DIRECTORY ${delvora_linux}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons
        COMPONENT window)
install(FILES ${delvora_staged}/delvora.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT window)
delvora_package_docs(window delvora)
