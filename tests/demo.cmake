# The demo sing-along: its script drawn through the real units, and its script in step with its notes.
add_executable(tralune_demo_tests
  ${CMAKE_CURRENT_LIST_DIR}/fakevideo.cpp
  ${CMAKE_CURRENT_LIST_DIR}/testfiles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/demo_test.cpp)
target_include_directories(tralune_demo_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(tralune_demo_tests PRIVATE tralune_script tralune_font tralune_gfx tralune_pcxwrite GTest::gtest_main)
target_compile_definitions(tralune_demo_tests PRIVATE TRALUNE_DEMO_DIR="${PROJECT_SOURCE_DIR}/demo")
gtest_discover_tests(tralune_demo_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120)

# The committed script is what make_script.py makes from the committed notes and font.
add_test(NAME DemoScriptFollowsItsNotes
  COMMAND sh -c "out=$(mktemp) || exit 1; /usr/bin/python3 \"$1/make_script.py\" \"$out\" >/dev/null && diff -u \"$1/script.txt\" \"$out\"; s=$?; rm -f \"$out\"; exit $s"
          sh ${PROJECT_SOURCE_DIR}/demo)
