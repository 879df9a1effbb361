# The IJG libjpeg decompression interface, cross-built from Debian's
# libjpeg-turbo source package (unpacked by script/bootstrap).
include(ExternalProject)
set(JPEG_SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/third_party/libjpeg-turbo)
if(NOT EXISTS ${JPEG_SOURCE_DIR}/jpeglib.h)
  message(FATAL_ERROR "libjpeg-turbo sources are missing: run script/bootstrap")
endif()
set(JPEG_PREFIX ${CMAKE_BINARY_DIR}/jpeg)
ExternalProject_Add(jpeg_build
  SOURCE_DIR ${JPEG_SOURCE_DIR}
  PREFIX ${JPEG_PREFIX}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX=${JPEG_PREFIX}/install
    -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DENABLE_SHARED=OFF -DENABLE_STATIC=ON
    -DWITH_JPEG8=OFF -DCMAKE_POSITION_INDEPENDENT_CODE=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build . --target jpeg-static
  INSTALL_COMMAND ${CMAKE_COMMAND} -E make_directory ${JPEG_PREFIX}/install/include
    COMMAND ${CMAKE_COMMAND} -E copy_if_different <BINARY_DIR>/libjpeg.a ${JPEG_PREFIX}/install/libjpeg.a
    COMMAND ${CMAKE_COMMAND} -E copy_if_different <BINARY_DIR>/jconfig.h ${JPEG_PREFIX}/install/include/jconfig.h
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${JPEG_SOURCE_DIR}/jpeglib.h ${JPEG_SOURCE_DIR}/jmorecfg.h
            ${JPEG_SOURCE_DIR}/jerror.h ${JPEG_PREFIX}/install/include/
  BUILD_BYPRODUCTS ${JPEG_PREFIX}/install/libjpeg.a
  LOG_CONFIGURE ON LOG_BUILD ON LOG_INSTALL ON
)
file(MAKE_DIRECTORY ${JPEG_PREFIX}/install/include)
add_library(jpeg_static STATIC IMPORTED GLOBAL)
set_target_properties(jpeg_static PROPERTIES
  IMPORTED_LOCATION ${JPEG_PREFIX}/install/libjpeg.a
  INTERFACE_INCLUDE_DIRECTORIES ${JPEG_PREFIX}/install/include)
add_dependencies(jpeg_static jpeg_build)
