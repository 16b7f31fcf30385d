// A fixture for unit tests of the parts that share the run state: every
// process-wide value put back to its start before and after each test, and the
// end of a run caught as the code it would have ended with.
#pragma once

#include <gtest/gtest.h>

#include "run_reset.h"
#include "throwing_fatal.h"

class RunStateTest : public ::testing::Test {
protected:
    void SetUp() override { test_support::resetWholeRun(); }
    void TearDown() override { test_support::resetWholeRun(); }
};

// Runs step; returns the exit code the run ended with, or -1 when it went on.
template <typename Step>
int endCode(Step step) {
    try {
        step();
    } catch (const test_support::RunEnded& end) {
        return static_cast<int>(end.code);
    }
    return -1;
}
