# The "cdg" command run as a user runs it: end to end on the dummy video driver, and on a private Xvfb
# server with the screen read back and compared with what the decoder draws.
add_executable(tralune_cdgrun_tests testfiles.cpp runner.cpp cdgrun_test.cpp)
target_include_directories(tralune_cdgrun_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tralune_cdgrun_tests PRIVATE tralune_cdg tralune_pcxwrite GTest::gtest_main)
target_compile_definitions(tralune_cdgrun_tests PRIVATE TRALUNE_BINARY="$<TARGET_FILE:tralune>")
add_dependencies(tralune_cdgrun_tests tralune)
gtest_discover_tests(tralune_cdgrun_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)

find_package(Threads REQUIRED)
add_executable(tralune_cdgscreen_tests testfiles.cpp runner.cpp xscreen.cpp cdgscreen_test.cpp)
target_include_directories(tralune_cdgscreen_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tralune_cdgscreen_tests PRIVATE tralune_cdg tralune_pcxwrite GTest::gtest_main Threads::Threads)
target_compile_definitions(tralune_cdgscreen_tests PRIVATE TRALUNE_BINARY="$<TARGET_FILE:tralune>")
add_dependencies(tralune_cdgscreen_tests tralune)
gtest_discover_tests(tralune_cdgscreen_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 150 LABELS screen)
