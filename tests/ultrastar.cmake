# The UltraStar importer: the built tralune-ultrastar run on song files as a user runs it, its scripts
# checked by the built tralune-check.
add_executable(tralune_ultrastar_tests testfiles.cpp runner.cpp scriptwalk.cpp ultrastar_test.cpp)
target_include_directories(tralune_ultrastar_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tralune_ultrastar_tests PRIVATE tralune_pcxwrite GTest::gtest_main)
target_compile_definitions(tralune_ultrastar_tests PRIVATE
  TRALUNE_BINARY="$<TARGET_FILE:tralune>"
  ULTRASTAR_BINARY="$<TARGET_FILE:tralune-ultrastar>"
  CHECK_BINARY="$<TARGET_FILE:tralune-check>")
add_dependencies(tralune_ultrastar_tests tralune tralune-ultrastar tralune-check)
gtest_discover_tests(tralune_ultrastar_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)
