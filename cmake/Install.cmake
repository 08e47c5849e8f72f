# Installation: the program in a folder of its own beside its helper
# stand-ins (PREFIX/libexec/quorlix/{quorlix,bin/}), a launcher
# PREFIX/bin/quorlix that starts it there, and the desktop entry and icons.
# The launcher finds the program relative to itself, so the prefix given to
# `cmake --install --prefix` at install time is all that counts.
include(GNUInstallDirs)

set(QUORLIX_INSTALL_APPDIR ${CMAKE_INSTALL_LIBEXECDIR}/quorlix)

install(TARGETS quorlix RUNTIME DESTINATION ${QUORLIX_INSTALL_APPDIR})
install(PROGRAMS bin/wget bin/wget-gnu bin/hhc bin/hh DESTINATION ${QUORLIX_INSTALL_APPDIR}/bin)
# The help compiler bin/hhc runs, beside it, and its way to chmcmd.
install(TARGETS quorlix-hhc RUNTIME DESTINATION ${QUORLIX_INSTALL_APPDIR}/bin)
install(PROGRAMS bin/hhc-chmcmd DESTINATION ${QUORLIX_INSTALL_APPDIR}/bin)
# The downloader bin/wget runs, beside it.
install(TARGETS quorlix-wget RUNTIME DESTINATION ${QUORLIX_INSTALL_APPDIR}/bin)

file(RELATIVE_PATH QUORLIX_LAUNCHER_TO_APPDIR
     ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBEXECDIR}/quorlix)
configure_file(desktop/quorlix-launcher.in ${PROJECT_BINARY_DIR}/quorlix-launcher @ONLY)
install(PROGRAMS ${PROJECT_BINARY_DIR}/quorlix-launcher
        DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME quorlix)

add_subdirectory(desktop)
