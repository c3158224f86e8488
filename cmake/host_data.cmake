# Script mode (cmake -P): makes the sample run folder with the project's data
# tools, which are Linux programs built by the native build. A clean clone
# has no native build yet; it is configured here with the default preset, so
# the Windows build needs no earlier step. Only the tools and the data are
# built, not the native viewer's tests.
#
# Variables: SOURCE_DIR, HOST_BUILD_DIR.
foreach(required SOURCE_DIR HOST_BUILD_DIR)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "host_data.cmake: ${required} is not set")
  endif()
endforeach()

# The cross build's own settings must not leak into the native one.
foreach(variable CC CXX CFLAGS CXXFLAGS LDFLAGS)
  unset(ENV{${variable}})
endforeach()

if(NOT EXISTS ${HOST_BUILD_DIR}/CMakeCache.txt)
  if(HOST_BUILD_DIR STREQUAL "${SOURCE_DIR}/build")
    set(configure ${CMAKE_COMMAND} --preset default)
  else()
    set(configure ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${HOST_BUILD_DIR} -G Ninja
        -DCMAKE_BUILD_TYPE=RelWithDebInfo)
  endif()
  execute_process(COMMAND ${configure} WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "host_data.cmake: configuring the native build in ${HOST_BUILD_DIR} failed")
  endif()
endif()

execute_process(COMMAND ${CMAKE_COMMAND} --build ${HOST_BUILD_DIR} --target sample_run --parallel 2
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "host_data.cmake: building the sample data in ${HOST_BUILD_DIR} failed")
endif()
