# cmake --install build --prefix P: the programs and what they read beside
# them in P/lib/dimmark, the commands in P/bin, and a desktop entry that
# offers DimMark for DWG and DXF drawings ("open with" in a file manager).
include(GNUInstallDirs)
set(DIMMARK_HOME ${CMAKE_INSTALL_LIBDIR}/dimmark)
install(TARGETS dimmark dimmark-cli RUNTIME DESTINATION ${DIMMARK_HOME})
install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/dimdata ${CMAKE_BINARY_DIR}/bin/dwg
                  ${CMAKE_BINARY_DIR}/bin/samples
        DESTINATION ${DIMMARK_HOME} USE_SOURCE_PERMISSIONS)
install(FILES ${PROJECT_SOURCE_DIR}/app/dimmark.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(CODE "set(DIMMARK_HOME \"${DIMMARK_HOME}\")
set(DIMMARK_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
set(DIMMARK_DATADIR \"${CMAKE_INSTALL_DATADIR}\")
set(DIMMARK_DESKTOP_IN \"${PROJECT_SOURCE_DIR}/app/dimmark.desktop.in\")")
install(SCRIPT ${PROJECT_SOURCE_DIR}/app/install_desktop.cmake)
