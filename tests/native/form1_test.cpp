#include "run/Form1.h"

#include <gtest/gtest.h>

#include "fakes.h"

TEST(Form1Activation, ARunWithoutErrorsEndsWithExitCodeZeroAndNoErrorBox) {
  fake::Journal journal;
  fake::Window window(journal);
  Form1 form(window);
  form.Activated();
  EXPECT_TRUE(window.errors.empty());
  EXPECT_EQ(form.ExitCode(), kExitCompleted);
}
