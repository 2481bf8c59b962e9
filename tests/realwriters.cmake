# Pictures written by real image editors (ImageMagick, Pillow): exact decoding, placement on the
# screen, and runs of the built program. The pictures are made at test time by make_real_pcx.py.
add_executable(tralune_realwriter_tests fakevideo.cpp testfiles.cpp runner.cpp realwriters_test.cpp)
target_include_directories(tralune_realwriter_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tralune_realwriter_tests PRIVATE tralune_script tralune_font tralune_gfx tralune_pcxwrite GTest::gtest_main)
target_compile_definitions(tralune_realwriter_tests PRIVATE
  TRALUNE_BINARY="$<TARGET_FILE:tralune>"
  REALPCX_GENERATOR="${CMAKE_CURRENT_SOURCE_DIR}/make_real_pcx.py")
add_dependencies(tralune_realwriter_tests tralune)
gtest_discover_tests(tralune_realwriter_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 300)
