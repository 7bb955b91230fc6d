# Install rules of the desktop integration, the user manual and the manual
# pages. Included by the top-level CMakeLists.txt after GNUInstallDirs.

if(TGX_GUI)
  # The desktop entry and the scalable icon are installed beside the program;
  # the bitmaps serve desktops that do not draw SVG icons.
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/../resources/tgx.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/../resources/tgx@2x.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps RENAME tgx.png)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/tgx-mime.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME tgx.xml)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/org.example.tgx.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/../docs/man/tgx.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

install(FILES ${CMAKE_CURRENT_LIST_DIR}/../docs/man/tgxctl.1
              ${CMAKE_CURRENT_LIST_DIR}/../docs/man/tgx-sim.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The manual is plain HTML: read in a browser from the documentation folder,
# and compiled into the program for its help window (docs/manual.qrc).
install(DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/../docs/manual/
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/manual
        FILES_MATCHING PATTERN "*.html" PATTERN "*.css" PATTERN "*.png")
