// A private scratch folder for the fuzz targets, so each input can be handed to the player as a file.
#ifndef TRALUNE_FUZZFILES_H
#define TRALUNE_FUZZFILES_H

#include <cstddef>
#include <cstdint>
#include <string>

// Replaces the file name inside this process's scratch folder with the input bytes and returns its
// path. The folder is made on first use and removed when the process ends. Aborts (which the fuzzer
// reports) when the file cannot be written, since every later result would be meaningless.
std::string fuzzfile(const std::string& name, const uint8_t* data, size_t size);

// Puts "font.pcx", a font of all 185 glyph slots, "picture.pcx", a small picture, and an empty
// "gnusong.mp3" in the scratch folder and makes the folder the current one, where the player and its tools look for them. Returns
// the font's path.
std::string fuzzstage();

#endif
