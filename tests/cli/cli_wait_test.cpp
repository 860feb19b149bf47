// SPDX-License-Identifier: GPL-3.0-or-later
// vexa_cli --wait-port: the port that appears later, the one that never does, Ctrl-C while waiting.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "sim/pty_simulator.h"
#include "tests/cli/cli_folder.h"
#include "tests/cli/process.h"
#include "tests/support/patience.h"

namespace {

using cli_test::Cli;
using cli_test::Has;
using cli_test::Result;

class CliWaitTest : public cli_test::FolderTest {};

TEST_F(CliWaitTest, TimedTheCommandWaitsForItsPortToAppear) {
  // Plugged after a second: the adapter's name appears in the folder, as a /dev/serial/by-id link does.
  const std::string adapter = Path("adapter");
  std::unique_ptr<sim::PtySimulator> simulator;
  std::thread plug([&] {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    simulator = std::make_unique<sim::PtySimulator>();
    std::filesystem::create_symlink(simulator->DevicePath(), adapter);
  });
  cli_test::RunOptions terminal;
  terminal.stderrTerminal = true;
  const Result r = Cli({"status", "--port", adapter, "--wait-port", "60"}, terminal);
  plug.join();
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_GE(r.wallMs, 900);
  EXPECT_TRUE(Has(r.out, "cycle 1")) << r.out;
  EXPECT_TRUE(Has(r.err, "waiting for " + adapter + "\u2026")) << r.err;
  EXPECT_LT(r.cpuMs, r.wallMs / 4) << "waiting is sleeping, not polling";

  // Never there: exit 2 after the time given, and why.
  const Result never = Cli({"read", "--port", Path("none"), "--wait-port", "1", "-o", Path("m.vxa")});
  EXPECT_EQ(never.code, 2);
  EXPECT_GE(never.wallMs, 900);
  EXPECT_TRUE(Has(never.err, "the port " + Path("none") + " did not appear and open within 1 s"))
      << never.err;
  EXPECT_FALSE(std::filesystem::exists(Path("m.vxa")));
  EXPECT_EQ(never.err.find("waiting for"), std::string::npos) << "no progress line off a terminal";

  // Ctrl-C while waiting ends it at once.
  cli_test::RunOptions interrupt;
  interrupt.signalAfterMs = 500;
  const Result stopped = Cli({"status", "--port", Path("none"), "--wait-port", "60"}, interrupt);
  EXPECT_EQ(stopped.code, 130) << stopped.err;
  EXPECT_LT(stopped.afterSignalMs, cli_test::kSignalPromptMs);
  EXPECT_EQ(Cli({"status", "--port", "sim", "--wait-port", "0"}).code, 2) << "at least a second";
}

}  // namespace
