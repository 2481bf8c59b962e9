# Writes a C++ source holding the phone page's files as byte arrays, so the program serves its page
# from memory and never reads a file by a name a request gave.
#   cmake -DOUTPUT=pagefiles.cpp "-DFILES=/ text/html DIR/page.html|/page.js text/javascript DIR/page.js" -P embed.cmake
# Every file is text in UTF-8.
set(body "// Made by party/embed.cmake from the page's files at build time; do not edit.\n#include \"pagefiles.h\"\n\n")
set(table "")
set(n 0)
string(REPLACE "|" ";" entries "${FILES}")
foreach(entry ${entries})
  string(REGEX MATCH "^([^ ]+) ([^ ]+) (.+)$" matched "${entry}")
  set(url ${CMAKE_MATCH_1})
  set(type ${CMAKE_MATCH_2})
  set(file ${CMAKE_MATCH_3})
  file(READ ${file} hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND body "static const unsigned char file${n}[] = {${bytes}};\n")
  string(APPEND table "    {\"${url}\", {\"${type}; charset=utf-8\", std::string(reinterpret_cast<const char*>(file${n}), ${size})}},\n")
  math(EXPR n "${n} + 1")
endforeach()
string(APPEND body "\nstd::map<std::string, std::pair<std::string, std::string>> pagefiles()\n{\n    return {\n${table}    };\n}\n")
file(WRITE ${OUTPUT}.tmp "${body}")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
