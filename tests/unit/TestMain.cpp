// Unit tests run inside Wine as console programs, in the process environment the wizard sets
// up for itself (COM, common controls, GDI+).
#include <windows.h>

#include <gtest/gtest.h>

#include "app/ProcessEnvironment.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ProcessEnvironment environment;
  environment.CompleteSetUp();
  return RUN_ALL_TESTS();
}
