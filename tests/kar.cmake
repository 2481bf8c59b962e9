# The MIDI karaoke importer: the built tralune-kar run on MIDI files as a user runs it, its scripts
# checked by the built tralune-check, its music rendered by the real fluidsynth and lame.
add_executable(tralune_kar_tests testfiles.cpp runner.cpp kar_test.cpp)
target_include_directories(tralune_kar_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tralune_kar_tests PRIVATE tralune_pcxwrite GTest::gtest_main)
target_compile_definitions(tralune_kar_tests PRIVATE
  TRALUNE_BINARY="$<TARGET_FILE:tralune>"
  KAR_BINARY="$<TARGET_FILE:tralune-kar>"
  CHECK_BINARY="$<TARGET_FILE:tralune-check>")
add_dependencies(tralune_kar_tests tralune tralune-kar tralune-check)
gtest_discover_tests(tralune_kar_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)
