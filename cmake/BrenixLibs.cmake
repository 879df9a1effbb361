# Helpers shared by the program, the tests and the benchmarks.

set(BRENIX_SYSTEM_LIBS comctl32 comdlg32 shell32 shlwapi ole32 oleaut32 uuid
    advapi32 psapi version mpr winmm gdi32 user32 kernel32 msimg32)

# A static library from every .cpp below a folder. An empty folder still
# gives a library, so every later folder can be linked from the start.
function(brenix_library name dir)
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp
                                           ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.c)
  if(NOT srcs)
    set(srcs ${CMAKE_CURRENT_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${BRENIX_WARNINGS})
  target_link_libraries(${name} PUBLIC jpeg_static)
endfunction()

# Links the whole program's libraries in one group (they refer to each other).
function(brenix_link_all target)
  target_link_libraries(${target} PRIVATE
    "$<LINK_GROUP:RESCAN,${BRENIX_ALL_LIBS}>" ${BRENIX_SYSTEM_LIBS})
endfunction()
