# The MP3+G companion: the built tralune-cdg run as a user runs it, its pictures held against a plain
# reference renderer (cdg_reference.py) on streams made by make_cdg.py, its folders played by tralune.
add_executable(tralune_cdgtool_tests testfiles.cpp runner.cpp fakevideo.cpp cdgtool_test.cpp)
target_include_directories(tralune_cdgtool_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tools/cdg)
target_link_libraries(tralune_cdgtool_tests PRIVATE tralune_gfx tralune_pcxwrite PkgConfig::LIBZIP GTest::gtest_main)
target_compile_definitions(tralune_cdgtool_tests PRIVATE
  TRALUNE_BINARY="$<TARGET_FILE:tralune>"
  CDG_BINARY="$<TARGET_FILE:tralune-cdg>"
  CHECK_BINARY="$<TARGET_FILE:tralune-check>"
  TESTS_DIR="${CMAKE_CURRENT_SOURCE_DIR}")
add_dependencies(tralune_cdgtool_tests tralune tralune-cdg tralune-check)
gtest_discover_tests(tralune_cdgtool_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120)
