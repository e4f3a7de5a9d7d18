// gl_test: the base of GL test fixtures. When the shared window could not be
// made, a test stops at its start with the window's failure, and no GL call
// runs in its set-up or clean-up.
#pragma once

#include "support/gl_window.h"

#include <gtest/gtest.h>

class gl_test : public ::testing::Test {
protected:
    // Fails the test, so its body is skipped, when there is no context;
    // otherwise puts the context into its usual state and calls set_up.
    void SetUp() final;
    // Calls tear_down between two state resets, when SetUp got past the
    // context check.
    void TearDown() final;

    virtual void set_up() {}
    virtual void tear_down() {}

    gl_window& window = gl_window::shared();
};
