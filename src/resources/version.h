// The version of every program of this build: the wizard's, and BrindleRules.exe's, which
// judges offers that ask for a wizard version.
#define BRINDLE_VERSION_NUMBERS 3, 2, 2, 12299
#define BRINDLE_VERSION_TEXT "3.2.2.12299"
