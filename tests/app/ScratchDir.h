// A fresh temporary start directory for tests that touch files; the previous
// start directory comes back afterwards. Names carry the pid and the test name
// because test executables run in parallel.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/os/Os.h"
#include "tests/TestDir.h"

class ScratchDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = os::StartDirectory();
        root_ = FreshTestDir("zt_");
        os::SetStartDirectory(root_.string());
    }
    void TearDown() override {
        os::SetStartDirectory(saved_);
        std::filesystem::remove_all(root_);
    }

    // Writes bytes exactly as given (no line-end translation).
    void WriteFile(const std::string& relative, const std::string& bytes) {
        std::filesystem::path p = root_ / relative;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
    }
    std::string ReadFile(const std::string& relative) const {
        std::ifstream in(root_ / relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bool Exists(const std::string& relative) const { return std::filesystem::exists(root_ / relative); }

    std::string saved_;
    std::filesystem::path root_;
};
