# The LRC importer: the built tralune-lrc run on LRC files, its scripts checked by tralune-check and
# played by tralune.
add_executable(tralune_lrc_tests testfiles.cpp runner.cpp scriptwalk.cpp lrc_test.cpp)
target_include_directories(tralune_lrc_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tralune_lrc_tests PRIVATE tralune_pcxwrite GTest::gtest_main)
target_compile_definitions(tralune_lrc_tests PRIVATE
  TRALUNE_BINARY="$<TARGET_FILE:tralune>"
  CHECK_BINARY="$<TARGET_FILE:tralune-check>"
  LRC_BINARY="$<TARGET_FILE:tralune-lrc>")
add_dependencies(tralune_lrc_tests tralune tralune-check tralune-lrc)
gtest_discover_tests(tralune_lrc_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)

# The second demo: its LRC file is what make_lrc.py makes from the demo's notes, and tralune-lrc makes
# it into a script that tralune-check finds nothing to say about.
add_test(NAME DemoLrcFollowsItsNotesAndImportsClean
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/demolrc_test.sh ${PROJECT_SOURCE_DIR}/demo
          $<TARGET_FILE:tralune-lrc> $<TARGET_FILE:tralune-check>)
