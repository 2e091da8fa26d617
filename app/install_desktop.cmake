# Run by cmake --install: the desktop entry names the installed program by
# its full path (a desktop session need not have P/bin on its PATH), and
# the commands in P/bin lead to the programs beside their data.
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(DIMMARK_EXEC "${CMAKE_INSTALL_PREFIX}/${DIMMARK_HOME}/dimmark")
configure_file(${DIMMARK_DESKTOP_IN}
               "${root}/${DIMMARK_DATADIR}/applications/dimmark.desktop" @ONLY)
message(STATUS "Installing: ${root}/${DIMMARK_DATADIR}/applications/dimmark.desktop")
file(MAKE_DIRECTORY "${root}/${DIMMARK_BINDIR}")
foreach(program dimmark dimmark-cli)
  file(CREATE_LINK "${CMAKE_INSTALL_PREFIX}/${DIMMARK_HOME}/${program}"
       "${root}/${DIMMARK_BINDIR}/${program}" SYMBOLIC)
endforeach()
# Desktops read the MIME cache of the applications folder.
find_program(UPDATE_DESKTOP_DATABASE update-desktop-database)
if(UPDATE_DESKTOP_DATABASE AND "$ENV{DESTDIR}" STREQUAL "")
  execute_process(COMMAND ${UPDATE_DESKTOP_DATABASE} -q
                          "${root}/${DIMMARK_DATADIR}/applications")
endif()
