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

#endif
