// gl_test: the context check in front of a GL fixture's set-up and clean-up.
#include "support/gl_test.h"

void gl_test::SetUp()
{
    ASSERT_TRUE(window.ready()) << window.failure();
    window.reset_state();
    set_up();
}

void gl_test::TearDown()
{
    if (!window.ready()) {
        return;
    }
    window.reset_state(); // a current program would outlive its deletion
    tear_down();
    window.reset_state();
}
