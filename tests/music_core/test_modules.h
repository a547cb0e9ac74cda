// Modules of the public interface for tests: owned, and loaded with a test
// failure (and the library's message) when the bytes do not load.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "intro_music.h"

namespace test_modules {

struct ModuleDeleter {
    void operator()(intro_music::Module* module) const { intro_music::freeModule(module); }
};
using ModulePointer = std::unique_ptr<intro_music::Module, ModuleDeleter>;

inline ModulePointer loadBytes(const std::vector<uint8_t>& bytes) {
    intro_music::Error error{};
    ModulePointer module(intro_music::loadFromMemory(bytes.data(), bytes.size(), &error));
    EXPECT_NE(module, nullptr) << error.message;
    return module;
}

}  // namespace test_modules
