// Reads a whole file into memory, for the tools that load songs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

// False when the file cannot be opened or read completely.
bool readFileBytes(const std::filesystem::path& path, std::vector<uint8_t>& bytes);
