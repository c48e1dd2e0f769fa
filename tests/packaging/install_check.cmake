# Installs the build into a scratch prefix and checks the layout: programs
# and table together in lib/zindrel, links in bin, the manual pages, and a
# converter started through its link that finds the table in its own
# directory, on the quick path (a JPEG) and through the full converter (a
# BMP), with the same art as the build's own converter.
#   cmake -DBUILD_DIR=... -DPREFIX=... -DPICTURE=... -DJPEG=... -P install_check.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(file lib/zindrel/zindrel lib/zindrel/zindrel-convert lib/zindrel/zindrel-convert-full lib/zindrel/Data.han
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
if(EXISTS "${PREFIX}/bin/zindrel-convert-full")
  message(FATAL_ERROR "the full converter has a link in bin")
endif()
foreach(picture "${PICTURE}" "${JPEG}")
  execute_process(COMMAND "${PREFIX}/bin/zindrel-convert" "${picture}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE art ERROR_VARIABLE error)
  if(NOT result EQUAL 0 OR art STREQUAL "")
    message(FATAL_ERROR "installed zindrel-convert failed on ${picture} (${result}): ${error}")
  endif()
  execute_process(COMMAND "${BUILD_DIR}/bin/zindrel-convert" "${picture}" OUTPUT_VARIABLE built)
  if(NOT art STREQUAL built)
    message(FATAL_ERROR "installed zindrel-convert made other art for ${picture}")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
