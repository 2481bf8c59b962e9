# The ASS/SSA importer: the built tralune-ass run on subtitle files as a user runs it, its scripts
# checked by the built tralune-check.
add_executable(tralune_ass_tests testfiles.cpp runner.cpp ass_test.cpp)
target_include_directories(tralune_ass_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tralune_ass_tests PRIVATE tralune_pcxwrite GTest::gtest_main)
target_compile_definitions(tralune_ass_tests PRIVATE
  TRALUNE_BINARY="$<TARGET_FILE:tralune>"
  ASS_BINARY="$<TARGET_FILE:tralune-ass>"
  CHECK_BINARY="$<TARGET_FILE:tralune-check>")
add_dependencies(tralune_ass_tests tralune tralune-ass tralune-check)
gtest_discover_tests(tralune_ass_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)
