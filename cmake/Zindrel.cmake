# Helpers every room's CMakeLists.txt uses.

# Warnings are switched on per target through this function.
function(zindrel_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /utf-8)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
  endif()
endfunction()

# zindrel_library(NAME SOURCES... [LINKS libs...]): one room's static
# library. Its public headers live in <room>/include/<room>/ and that include
# folder is all it exports; what lies beside its sources stays private.
function(zindrel_library name)
  cmake_parse_arguments(L "" "" "SOURCES;LINKS" ${ARGN})
  file(GLOB public_headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/include/*/*.h)
  add_library(${name} STATIC ${L_SOURCES} ${public_headers})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
  target_link_libraries(${name} PUBLIC ${L_LINKS})
  zindrel_warnings(${name})
endfunction()
