# The party's store in-process: names, queries and the fair order as pure functions; the scan of a made
# library, search, the queue and its survival of a killed process on real databases in scratch folders.
add_executable(tralune_partystore_tests testfiles.cpp partystore_test.cpp)
target_include_directories(tralune_partystore_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tralune_partystore_tests PRIVATE tralune_partystore tralune_pcxwrite GTest::gtest_main)
gtest_discover_tests(tralune_partystore_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)
