# The phone page: the JSON writer and reader, the address, the QR code read back by zbarimg, and the
# interface in-process and over a socket on a real store.
add_executable(tralune_phone_tests fakevideo.cpp testfiles.cpp phonefixture.cpp json_test.cpp netaddr_test.cpp
  qrcode_test.cpp phoneapi_test.cpp web_test.cpp)
target_include_directories(tralune_phone_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tralune_phone_tests PRIVATE tralune_phone tralune_font tralune_gfx tralune_pcxwrite GTest::gtest_main)
gtest_discover_tests(tralune_phone_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)
