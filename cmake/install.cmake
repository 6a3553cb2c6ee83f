# The installed tree (cmake --install, and the package made from it).
#
# The window finds its own files (skin, cursors, icon, Samples/) beside its
# executable, as it does in the build tree's bin/. On Windows that is bin/
# itself. Elsewhere the executable and its files live together in
# ${CMAKE_INSTALL_LIBDIR}/delvora/, and bin/delvora is a relative symbolic
# link to it: the program asks the system where its executable really is,
# which sees through the link. Desktop integration comes from share/linux/.
if(NOT TARGET delvora)
  return()  # a build of delvora-convert alone
endif()
if(WIN32)
  install(TARGETS delvora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(DIRECTORY resources/ DESTINATION ${CMAKE_INSTALL_BINDIR})
  return()
endif()

set(DELVORA_APP_DIR ${CMAKE_INSTALL_LIBDIR}/delvora)
install(TARGETS delvora RUNTIME DESTINATION ${DELVORA_APP_DIR})
install(DIRECTORY resources/ DESTINATION ${DELVORA_APP_DIR})

file(RELATIVE_PATH delvora_link_target ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_LIBDIR}/delvora/delvora)
set(delvora_staged ${CMAKE_BINARY_DIR}/install-staged)
file(MAKE_DIRECTORY ${delvora_staged})
file(CREATE_LINK ${delvora_link_target} ${delvora_staged}/delvora SYMBOLIC)
install(FILES ${delvora_staged}/delvora DESTINATION ${CMAKE_INSTALL_BINDIR})

set(delvora_linux ${CMAKE_SOURCE_DIR}/share/linux)
set(DELVORA_APP_ID example.quorvane.Delvora)
install(FILES ${delvora_linux}/${DELVORA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${delvora_linux}/${DELVORA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY ${delvora_linux}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${delvora_linux}/delvora-convert.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME delvora-convert)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

# Manual pages and the change log go compressed, without a time stamp, so
# that two builds of the same sources make the same package.
find_program(DELVORA_GZIP gzip REQUIRED)
foreach(page delvora delvora-convert)
  configure_file(${delvora_linux}/${page}.1.in ${delvora_staged}/${page}.1 @ONLY)
endforeach()
set(delvora_compressed)
foreach(plain ${delvora_staged}/delvora.1 ${delvora_staged}/delvora-convert.1
              ${CMAKE_SOURCE_DIR}/CHANGELOG.md)
  get_filename_component(name ${plain} NAME)
  if(name STREQUAL "CHANGELOG.md")
    set(name changelog)
  endif()
  add_custom_command(OUTPUT ${delvora_staged}/${name}.gz
    COMMAND ${DELVORA_GZIP} -9n < ${plain} > ${delvora_staged}/${name}.gz
    DEPENDS ${plain}
    VERBATIM)
  list(APPEND delvora_compressed ${delvora_staged}/${name}.gz)
endforeach()
add_custom_target(delvora_compressed_docs ALL DEPENDS ${delvora_compressed})
install(FILES ${delvora_staged}/delvora.1.gz ${delvora_staged}/delvora-convert.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${delvora_staged}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
