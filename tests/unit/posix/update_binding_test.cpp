// The POSIX binding's own names and script; the script itself runs in the
// black-box round trip.
#include <gtest/gtest.h>

#include <cstdlib>

#include "environment.h"
#include "update/update_ops.h"

void set_environment(const char* name, const char* value) {
  if (value) setenv(name, value, 1);
  else unsetenv(name);
}

namespace {

TEST(PosixUpdateBinding, NamesTheFilesBesideTheExecutable) {
  const UpdateOps& ops = native_update_ops();
  EXPECT_EQ(WideString(ops.new_executable_name), u"TessavinServer-new");
  EXPECT_EQ(WideString(ops.swap_script_name), u"TessavinServer-update.sh");
  const std::string script = ops.swap_script_text;
  EXPECT_EQ(script.rfind("#!/bin/sh\n", 0), 0u);
  EXPECT_EQ(script.find('\r'), std::string::npos);
}

}  // namespace
