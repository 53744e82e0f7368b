#pragma once
// Test fixtures over the harness: a fresh installation per test, and a
// service already running in it.
#include <gtest/gtest.h>

#include <optional>

#include "answers.h"
#include "harness.h"

namespace blackbox {

class ServiceTest : public ::testing::Test {
 protected:
  Install install;

  void TearDown() override {
    // The service prints nothing, and a sanitizer report would land here.
    EXPECT_EQ(read_file(install.stderr_path()), "");
  }
};

// One running service shared by the tests that only talk to it.
class RunningService : public ServiceTest {
 protected:
  std::optional<Service> service;
  int port = 0;

  void SetUp() override {
    service.emplace(install);
    port = service->wait_until_serving();
    ASSERT_NE(port, 0) << "the service did not start";
  }
  void TearDown() override {
    EXPECT_TRUE(service->running()) << "the service died";
    service.reset();
    ServiceTest::TearDown();
  }
  void expect_ping_answered() {
    EXPECT_EQ(exchange(port, "GET /api/ping HTTP/1.1\r\n\r\n").received, expected::kPing);
  }
};

}  // namespace blackbox
