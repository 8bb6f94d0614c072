#include "support/pty_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

namespace solidmorph {
namespace {

// The end-to-end tests start the real program through this helper, so its
// working directory, environment and exit reporting must be right.
TEST(PtyProcess, SpawnHonoursCwdEnvironmentAndExitCode) {
    setenv("PTY_TEST_DROPPED", "still here", 1);
    PtyOptions options;
    options.cwd = "/tmp";
    options.env = {{"PTY_TEST_SET", "set value"}, {"PTY_TEST_DROPPED", std::nullopt}};
    PtyChild child = pty_spawn({"/bin/sh", "-c",
                                "pwd; echo \"[$PTY_TEST_SET][${PTY_TEST_DROPPED-unset}]\"; "
                                "read key; echo \"got $key\"; exit 3"},
                               options);
    ASSERT_GT(child.pid, 0);
    ASSERT_TRUE(pty_read_until(child, "[set value][unset]", 5000)) << child.output;
    EXPECT_NE(child.output.find("/tmp\n"), std::string::npos) << child.output;
    ASSERT_TRUE(pty_send(child, "abc\n"));
    ExitStatus status = pty_wait_exit(child, 5000);
    EXPECT_TRUE(status.exited);
    EXPECT_EQ(status.code, 3);
    EXPECT_NE(child.output.find("got abc"), std::string::npos) << child.output;
    pty_close(child);
    unsetenv("PTY_TEST_DROPPED");
}

TEST(PtyProcess, ReportsFailedExecRunningChildAndSignals) {
    PtyChild missing = pty_spawn({"/nonexistent/program"});
    ExitStatus status = pty_wait_exit(missing, 5000);
    EXPECT_TRUE(status.exited);
    EXPECT_EQ(status.code, 127);
    pty_close(missing);

    PtyChild sleeper = pty_spawn({"/bin/sleep", "30"});
    status = pty_wait_exit(sleeper, 100);
    EXPECT_FALSE(status.exited || status.signaled) << "a running child looked finished";
    ASSERT_EQ(kill(sleeper.pid, SIGTERM), 0);
    status = pty_wait_exit(sleeper, 5000);
    EXPECT_TRUE(status.signaled);
    EXPECT_EQ(status.signal, SIGTERM);
    pty_close(sleeper);
}

}  // namespace
}  // namespace solidmorph
