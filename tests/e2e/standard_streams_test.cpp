// Started from launchers, menus and scripts: a standard input that can never
// deliver a key, or a standard output that nobody reads, never holds or
// kills the program; it waits as it should and ends with 0.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/running_program.h"

namespace solidmorph {
namespace {

using test::RunningProgram;

// A console input that can never deliver a key ends the wait after either
// message rather than holding the exit.
TEST(StandardStreams, DeadConsoleInputNeverHoldsTheExit) {
    for (const PtyStdin input : {PtyStdin::dev_null, PtyStdin::closed, PtyStdin::write_only}) {
        for (const bool headless : {true, false}) {
            SCOPED_TRACE(std::string(headless ? "no display" : "no texture") + ", stdin mode " +
                         std::to_string(int(input)));
            RunningProgram run(headless);
            run.start(input, headless ? std::vector<EnvChange>{{"DISPLAY", std::nullopt}}
                                      : std::vector<EnvChange>{});
            const double start = pty_now_ms();
            run.expect_clean_exit(headless ? 5000 : test::window_timeout_ms);
            // Without a display the pause would otherwise last a second.
            if (headless) {
                EXPECT_LT(pty_now_ms() - start, 1500.0);
            }
            EXPECT_EQ(run.child.output,
                      headless ? "Failed to initialize GLFW!\r\n" : "Failed to load image!!!\r\n");
        }
    }
}

// A launcher that drops the program's output must not change how it ends:
// the failure line goes nowhere, the waits are the same, the status is 0.
TEST(StandardStreams, OutputNobodyReadsChangesNothing) {
    for (const bool headless : {true, false}) {
        SCOPED_TRACE(headless ? "no display" : "no texture");
        RunningProgram run(headless);
        PtyOptions options;
        options.cwd = run.folder.path.string();
        options.stdout_unread = true;
        if (headless) options.env = {{"DISPLAY", std::nullopt}};
        run.child = pty_spawn({SOLIDMORPH_BINARY}, options);
        const double start = pty_now_ms();
        if (headless) {
            run.expect_clean_exit(5000);
            EXPECT_GE(pty_now_ms() - start, 950.0) << "the pause was cut short";
            continue;
        }
        const ExitStatus early = pty_wait_exit(run.child, 2000);
        EXPECT_FALSE(early.exited || early.signaled) << "ended without a key";
        ASSERT_TRUE(pty_send(run.child, "x"));
        run.expect_clean_exit(2000);
    }
}

}  // namespace
}  // namespace solidmorph
