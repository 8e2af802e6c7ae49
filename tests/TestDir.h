// A fresh, empty temporary directory for the running test. Its name carries
// the pid, the suite and the test name, because test executables run in
// parallel and parameterised tests share a suite.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <string>

inline std::filesystem::path FreshTestDir(const std::string& prefix) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name =
        std::string(info ? info->test_suite_name() : "suite") + "_" + (info ? info->name() : "test");
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / (prefix + std::to_string(::getpid()) + "_" + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}
