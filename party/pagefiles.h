// The phone page's files, built into the program from party/page.html, page.js and page.css.
#ifndef TRALUNE_PAGEFILES_H
#define TRALUNE_PAGEFILES_H

#include <map>
#include <string>

// Path as a phone asks for it ("/", "/page.js", "/page.css") -> (content type, bytes).
std::map<std::string, std::pair<std::string, std::string>> pagefiles();

#endif
