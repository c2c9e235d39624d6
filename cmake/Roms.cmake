# The default roms.rom: bank 0 the 128K editor ROM, bank 1 the 48 BASIC ROM,
# bank 2 the disk-interface ROM. Composed from Debian's free OpenSE BASIC:
# its stub pages straight to the BASIC bank, and with no free disk ROM the
# BASIC image fills bank 2 as well.
set(QUORVANE_ROM_DIR "/usr/share/spectrum-roms" CACHE PATH "Folder of the opense-basic ROM images")
set(QUORVANE_ROMS ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/roms.rom)
add_custom_command(
  OUTPUT ${QUORVANE_ROMS}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
  COMMAND sh -c "cat '${QUORVANE_ROM_DIR}/opense-stub.rom' '${QUORVANE_ROM_DIR}/opense.rom' '${QUORVANE_ROM_DIR}/opense.rom' > '${QUORVANE_ROMS}'"
  DEPENDS ${QUORVANE_ROM_DIR}/opense-stub.rom ${QUORVANE_ROM_DIR}/opense.rom
  COMMENT "Composing roms.rom from OpenSE BASIC"
  VERBATIM)
add_custom_target(roms ALL DEPENDS ${QUORVANE_ROMS})
