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

class ScratchDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = os::StartDirectory();
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char& c : name) {
            if (c == '/') c = '_';
        }
        root_ = std::filesystem::temp_directory_path() / ("zt_" + std::to_string(::getpid()) + "_" + name);
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
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
