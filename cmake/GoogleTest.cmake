# GoogleTest is built from the sources Debian's googletest package ships, for both targets, so the
# same test sources compile against the same framework natively and for Windows.
set(ZR_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${ZR_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
add_library(zr_gtest_main INTERFACE)
target_link_libraries(zr_gtest_main INTERFACE gtest gtest_main)
