// Shared set-up of the catalogue tests: each test runs in a fresh empty
// directory (so no ./velquin.msg is found unless the test writes one), with
// VQ_MESSAGE_FILE unset and the catalogue released before and after.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "msg/msg.h"

class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static char name[] = "test_msg";
    static char* argv[] = {name, nullptr};
    vqio_start(1, argv, "VQ_IOMAP");
    char* cwd = getcwd(nullptr, 0);
    old_dir_ = cwd;
    std::free(cwd);
    char tmpl[] = "/tmp/vq_catalogue_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    unsetenv("VQ_MESSAGE_FILE");
    GetMsgText(-1);
  }

  void TearDown() override {
    GetMsgText(-1);
    unsetenv("VQ_MESSAGE_FILE");
    ASSERT_EQ(chdir(old_dir_.c_str()), 0);
    std::string command = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }

  // Writes a file in the test directory and returns its path.
  std::string write_file(const std::string& name, const std::string& content) {
    std::string path = dir_ + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out << content;
    return path;
  }

  std::string dir_;
  std::string old_dir_;
};

// One <VQMessage> element of a message file.
inline std::string vq_message(const std::string& code, const std::string& text) {
  return "<VQMessage>\n  <VQLevel>2</VQLevel>\n  <VQCode>" + code + "</VQCode>\n  <VQText>" +
         text + "</VQText>\n  <VQArg>name</VQArg>\n</VQMessage>\n";
}
