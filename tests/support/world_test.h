// Base of the unit tests: every test starts from a fresh simulated platform,
// with records off and none received.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diagnostics.h"
#include "runtime/stdio.h"
#include "support/bytes.h"
#include "support/fake_win32.h"
#include "support/recording_receiver.h"

class WorldTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::reset();
        received_records().clear();
        vantle_native::max_level = 0;
    }
    void TearDown() override {
        // Like the end of a run: whatever a test left in the process-wide
        // standard output goes out now, not into the next test.
        vantle_native::runtime::flush_standard_output_at_exit();
        vantle_native::max_level = 0;
    }

    static fake::World& platform() { return fake::world(); }
};
