#pragma once
// The buttons a page reports to the main dialog, which decides where the wizard goes next.

enum class ButtonType {
  Next = 0,
  Accept = 1,
  Close = 2,
  Decline = 3,
  Finish = 4,
  Back = 5,
  SkipAll = 6,
};
