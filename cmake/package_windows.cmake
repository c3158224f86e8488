# Script mode (cmake -P): the Windows package, a zip whose Tundra\ folder
# holds tundra.exe, the data\ folder the viewer reads and a README.txt.
#
# Variables: EXE (tundra.exe), DATA_DIR (the sample run's data folder),
# README (the readme's text, line-feed ended), STAGE_DIR (scratch folder),
# ZIP (the archive to write).
foreach(required EXE DATA_DIR README STAGE_DIR ZIP)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "package_windows.cmake: ${required} is not set")
  endif()
endforeach()

# Only what the viewer reads: a run folder may also hold a saved position or
# a log from running the native viewer there.
set(data_files default.cfg world.geom marble.bmp font.f)

file(REMOVE_RECURSE ${STAGE_DIR})
set(folder ${STAGE_DIR}/Tundra)
file(MAKE_DIRECTORY ${folder}/data)
file(COPY ${EXE} DESTINATION ${folder})
foreach(name ${data_files})
  if(NOT EXISTS ${DATA_DIR}/${name})
    message(FATAL_ERROR "package_windows.cmake: ${DATA_DIR}/${name} is missing")
  endif()
  file(COPY ${DATA_DIR}/${name} DESTINATION ${folder}/data)
endforeach()
# Notepad and friends expect CR LF.
configure_file(${README} ${folder}/README.txt @ONLY NEWLINE_STYLE CRLF)

file(REMOVE ${ZIP})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip Tundra
                WORKING_DIRECTORY ${STAGE_DIR} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "package_windows.cmake: writing ${ZIP} failed")
endif()
file(REMOVE_RECURSE ${STAGE_DIR})
