# The font maker: the built tralune-mkfont run as a user runs it, its images read back by the player's
# font and decoder and by Pillow, and compared with FreeType's own rendering of the same font.
if(NOT TARGET PkgConfig::FREETYPE)
  pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)
endif()
add_executable(tralune_mkfont_tests fakevideo.cpp testfiles.cpp runner.cpp mkfont_test.cpp)
target_include_directories(tralune_mkfont_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tralune_mkfont_tests PRIVATE
  tralune_font tralune_gfx tralune_pcxwrite PkgConfig::FREETYPE GTest::gtest_main)
target_compile_definitions(tralune_mkfont_tests PRIVATE
  TRALUNE_BINARY="$<TARGET_FILE:tralune>"
  MKFONT_BINARY="$<TARGET_FILE:tralune-mkfont>")
add_dependencies(tralune_mkfont_tests tralune tralune-mkfont)
gtest_discover_tests(tralune_mkfont_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120)
