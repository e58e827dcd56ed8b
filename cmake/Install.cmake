# Install layout (cmake --install BUILD --prefix PREFIX):
#
#   bin/kestrow, bin/kestrow-cli               the two programs
#   lib/kestrow/                               the program folder: libzelcommon.so, liblumbrel.so,
#                                              report images, help/
#   lib/systemd/user/                          the daemon's systemd user unit
#   share/applications, share/icons/hicolor,   desktop entry, icon, AppStream metainfo,
#   share/metainfo, share/man/man1 and man5,   man pages, bash completion
#   share/bash-completion/completions
#
# The programs load both libraries with dlopen from the program folder, which they find
# as ../lib/kestrow/ beside their own folder (ProgramFolder() in base/AppState.cpp).
# That folder is fixed, so it is not CMAKE_INSTALL_LIBDIR (lib/x86_64-linux-gnu under /usr).

set(KESTROW_PROGRAM_FOLDER lib/kestrow)
set(kestrow_dist ${PROJECT_SOURCE_DIR}/dist)

install(TARGETS kestrow kestrow-cli RUNTIME DESTINATION bin)
install(TARGETS zelcommon lumbrel LIBRARY DESTINATION ${KESTROW_PROGRAM_FOLDER})


file(GLOB kestrow_report_images CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/*.jpg)
install(FILES ${kestrow_report_images} DESTINATION ${KESTROW_PROGRAM_FOLDER})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/help/ DESTINATION ${KESTROW_PROGRAM_FOLDER}/help OPTIONAL)

install(FILES ${kestrow_dist}/kestrow.desktop DESTINATION share/applications)
install(FILES ${kestrow_dist}/io.kestrow.Kestrow.metainfo.xml DESTINATION share/metainfo)
install(FILES ${kestrow_dist}/icons/kestrow.svg DESTINATION share/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${kestrow_dist}/icons/kestrow-${size}.png
        DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME kestrow.png)
endforeach()
install(FILES ${kestrow_dist}/completion/kestrow-cli DESTINATION share/bash-completion/completions)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION share/doc/kestrow)

# Man pages go in compressed, as Debian keeps them (-n: no name or time stamp inside),
# each into the folder of its section.
set(kestrow_man_pages)
foreach(page kestrow.1 kestrow-cli.1 kestrow.kwt.5)
    set(compressed ${CMAKE_BINARY_DIR}/dist/man/${page}.gz)
    add_custom_command(OUTPUT ${compressed}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/dist/man
        COMMAND gzip -9 -n -c ${kestrow_dist}/man/${page} > ${compressed}
        DEPENDS ${kestrow_dist}/man/${page}
        COMMENT "Compressing man page ${page}")
    list(APPEND kestrow_man_pages ${compressed})
    string(REGEX REPLACE "^.*\\." "" section ${page})
    install(FILES ${compressed} DESTINATION share/man/man${section})
endforeach()
add_custom_target(kestrow_man_pages ALL DEPENDS ${kestrow_man_pages})

# The daemon's systemd user unit, as written in dist/systemd/.
file(GLOB kestrow_units CONFIGURE_DEPENDS ${kestrow_dist}/systemd/*.service)
if(kestrow_units)
    install(FILES ${kestrow_units} DESTINATION lib/systemd/user)
endif()
