# Installs the build into a scratch prefix and checks the layout: programs
# and table together in lib/zindrel, links in bin, the manual pages, and a
# converter started through its link that finds the table in its own
# directory.
#   cmake -DBUILD_DIR=... -DPREFIX=... -DPICTURE=... -P install_check.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(file lib/zindrel/zindrel lib/zindrel/zindrel-convert lib/zindrel/Data.han
             share/applications/zindrel.desktop share/icons/hicolor/128x128/apps/zindrel.png
             share/man/man1/zindrel-convert.1 share/man/man1/zindrel.1)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
if(NOT WIN32)
  foreach(program zindrel zindrel-convert)
    if(NOT IS_SYMLINK "${PREFIX}/bin/${program}")
      message(FATAL_ERROR "no link bin/${program}")
    endif()
  endforeach()
endif()
execute_process(COMMAND "${PREFIX}/bin/zindrel-convert" "${PICTURE}"
                RESULT_VARIABLE result OUTPUT_VARIABLE art ERROR_VARIABLE error)
if(NOT result EQUAL 0 OR art STREQUAL "")
  message(FATAL_ERROR "installed zindrel-convert failed (${result}): ${error}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
