# cmake --install: the programs keep their folder as they have it in the build, since they find
# the MAPI provider, the shipped Config and the help page beside themselves. That folder is
# lib/mailsift under the prefix; bin/ gets links to the programs, and the desktop entry and icon
# go to the XDG places. A user's settings, logs and history then live in
# ~/.local/share/mailsift, seeded from the shipped Config, since the installed folder is not the
# user's to write.
include(GNUInstallDirs)
set(MAILSIFT_INSTALL_FOLDER ${CMAKE_INSTALL_LIBDIR}/mailsift)

install(TARGETS mailsift-gui mailsift-cli RUNTIME DESTINATION ${MAILSIFT_INSTALL_FOLDER})
install(TARGETS msmapi32 LIBRARY DESTINATION ${MAILSIFT_INSTALL_FOLDER})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/Config DESTINATION ${MAILSIFT_INSTALL_FOLDER})
install(FILES ${CMAKE_SOURCE_DIR}/data/Help.html DESTINATION ${MAILSIFT_INSTALL_FOLDER})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/ui/pictures DESTINATION ${MAILSIFT_INSTALL_FOLDER})

install(FILES ${CMAKE_SOURCE_DIR}/data/mailsift.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/ui/pictures/mailsift.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The store file types the desktop entry names: a file manager then opens .pst, .dbx and .mbx
# files in the viewer. The system's type database learns them when it is rebuilt, which an
# installation into a staging folder leaves to the package that carries it.
install(FILES ${CMAKE_SOURCE_DIR}/data/mailsift-mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME mailsift.xml)
install(CODE "
  find_program(update_mime_database update-mime-database)
  if(update_mime_database AND \"\$ENV{DESTDIR}\" STREQUAL \"\")
    execute_process(COMMAND \${update_mime_database}
                            \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/mime\")
  endif()")

foreach(program mailsift mailsift-cli)
  install(CODE "
    set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${bin}\")
    file(CREATE_LINK \"../${MAILSIFT_INSTALL_FOLDER}/${program}\" \"\${bin}/${program}\" SYMBOLIC)
    message(STATUS \"Installing: \${bin}/${program} -> ../${MAILSIFT_INSTALL_FOLDER}/${program}\")")
endforeach()
