// A test fixture that runs each test in a fresh directory of its own and
// removes it afterwards, for code that writes its dump files into the
// current directory (so that tests can run in parallel).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

class InFreshDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    m_previous = fs::current_path();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir = m_previous / (std::string("dumps_") + info->test_suite_name() + "_" + info->name());
    fs::remove_all(m_dir);
    fs::create_directory(m_dir);
    fs::current_path(m_dir);
  }
  void TearDown() override {
    std::filesystem::current_path(m_previous);
    std::filesystem::remove_all(m_dir);
  }

 private:
  std::filesystem::path m_previous, m_dir;
};
