# Real-screen tests: tralune full screen on a private Xvfb display, its screen read back pixel by pixel
# and compared with the frames the program's own units draw; Escape, signals and close requests sent
# to it. Each test starts its own X server on a display number of its own, so they run side by side.
find_package(Threads REQUIRED)
pkg_check_modules(TRALUNE_X11 REQUIRED IMPORTED_TARGET x11)
pkg_check_modules(TRALUNE_XFIXES IMPORTED_TARGET xfixes)

# A tiny X client that asks windows to close as a window manager would, and reads the cursor image.
add_executable(tralune_xclient xclient.cpp)
target_link_libraries(tralune_xclient PRIVATE PkgConfig::TRALUNE_X11)
if(TRALUNE_XFIXES_FOUND)
  target_compile_definitions(tralune_xclient PRIVATE TRALUNE_HAVE_XFIXES)
  target_link_libraries(tralune_xclient PRIVATE PkgConfig::TRALUNE_XFIXES)
else()
  message(STATUS "libxfixes-dev not found: the real-screen check of the hidden cursor will be skipped")
endif()

add_executable(tralune_screen_tests fakevideo.cpp testfiles.cpp runner.cpp xscreen.cpp screen_test.cpp)
target_include_directories(tralune_screen_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tralune_screen_tests PRIVATE tralune_script tralune_font tralune_gfx tralune_pcxwrite
                      GTest::gtest_main Threads::Threads)
target_compile_definitions(tralune_screen_tests PRIVATE
  TRALUNE_BINARY="$<TARGET_FILE:tralune>"
  TRALUNE_XCLIENT="$<TARGET_FILE:tralune_xclient>"
  TRALUNE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
add_dependencies(tralune_screen_tests tralune tralune_xclient)
gtest_discover_tests(tralune_screen_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 150 LABELS screen)
