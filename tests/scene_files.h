// The real scene files the tests read, kept in tests/scenes with their licences
// (or wherever MARROWLINK_SCENES points), and reading a file whole.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

inline std::string scenesDir() {
    if (const char *override = std::getenv("MARROWLINK_SCENES"))
        return override;
    return MARROWLINK_SCENES_DIR;
}

#define REQUIRE_SCENES()                                                                                     \
    ASSERT_TRUE(std::filesystem::exists(scenesDir() + "/README.md"))                                         \
        << "the scenes folder was not found (" << scenesDir() << "); set MARROWLINK_SCENES to it"

inline std::string readFile(const std::filesystem::path &path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}
