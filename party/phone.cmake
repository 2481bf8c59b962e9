# The phone page of the party: its JSON interface, the web server on libmicrohttpd, the address phones
# reach, the QR code for the screen, and the page itself built into the program.
pkg_check_modules(MICROHTTPD REQUIRED IMPORTED_TARGET libmicrohttpd)
pkg_check_modules(QRENCODE REQUIRED IMPORTED_TARGET libqrencode)

set(tralune_page_sources ${PROJECT_SOURCE_DIR}/party/page.html ${PROJECT_SOURCE_DIR}/party/page.js
    ${PROJECT_SOURCE_DIR}/party/page.css)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/party/pagefiles.cpp
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/party
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${PROJECT_BINARY_DIR}/party/pagefiles.cpp
    "-DFILES=/ text/html ${PROJECT_SOURCE_DIR}/party/page.html|/page.js text/javascript ${PROJECT_SOURCE_DIR}/party/page.js|/page.css text/css ${PROJECT_SOURCE_DIR}/party/page.css"
    -P ${PROJECT_SOURCE_DIR}/party/embed.cmake
  DEPENDS ${tralune_page_sources} ${PROJECT_SOURCE_DIR}/party/embed.cmake
  VERBATIM)

# The QR code is drawn by the party's screens, which need nothing else of the page.
add_library(tralune_qrcode STATIC ${PROJECT_SOURCE_DIR}/party/qrcode.cpp)
target_include_directories(tralune_qrcode PUBLIC ${PROJECT_SOURCE_DIR}/party ${PROJECT_SOURCE_DIR}/common)
target_link_libraries(tralune_qrcode PUBLIC PkgConfig::QRENCODE)
target_link_libraries(tralune_partyscreen PUBLIC tralune_qrcode)

add_library(tralune_phone STATIC
  ${PROJECT_SOURCE_DIR}/party/json.cpp
  ${PROJECT_SOURCE_DIR}/party/phoneapi.cpp
  ${PROJECT_SOURCE_DIR}/party/web.cpp
  ${PROJECT_SOURCE_DIR}/party/netaddr.cpp
  ${PROJECT_SOURCE_DIR}/party/phone.cpp
  ${PROJECT_BINARY_DIR}/party/pagefiles.cpp)
target_include_directories(tralune_phone PUBLIC ${PROJECT_SOURCE_DIR}/party ${PROJECT_SOURCE_DIR}/common)
# The JSON writer reads text as the player reads song text (the font's nextchar) and writes it with
# the companions' UTF-8 helpers: one truth for what a title's bytes mean.
target_link_libraries(tralune_phone PUBLIC tralune_partystore tralune_partycontrol tralune_qrcode tralune_cli tralune_font
  PkgConfig::MICROHTTPD)

# The party program serves the page.
if(TARGET tralune-party)
  target_link_libraries(tralune-party PRIVATE tralune_phone)
endif()
