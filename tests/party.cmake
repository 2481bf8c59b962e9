# The party's big screen: its pure parts in-process (controls, text line, order of screens, screen
# drawing, options), the song player's start and stop, and the picker against a real store.
tralune_test_group(tralune_party_tests
  SOURCES fakevideo.cpp testfiles.cpp partycontrol_test.cpp partytextline_test.cpp partyflow_test.cpp
          partyscreen_test.cpp partyoptions_test.cpp songplayer_test.cpp partypicker_test.cpp
          partykeytempo_test.cpp
  LIBRARIES tralune_party tralune_pcxwrite)

# tralune-party end to end on a private X server with a stand-in song player, keys sent with xdotool;
# as the player's real-screen tests, labelled "screen", with a longer time allowed.
add_executable(tralune_partyrun_tests testfiles.cpp runner.cpp xscreen.cpp partyrun_test.cpp)
target_include_directories(tralune_partyrun_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tralune_partyrun_tests PRIVATE tralune_partystore tralune_partyscreen tralune_pcxwrite
  GTest::gtest_main Threads::Threads)
target_compile_definitions(tralune_partyrun_tests PRIVATE TRALUNE_BINARY="$<TARGET_FILE:tralune>"
  PARTY_BINARY="$<TARGET_FILE:tralune-party>")
add_dependencies(tralune_partyrun_tests tralune tralune-party)
gtest_discover_tests(tralune_partyrun_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 150 LABELS screen)
