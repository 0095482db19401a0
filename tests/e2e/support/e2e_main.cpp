// The window on the real engine.
#include "tests/support/GuiTestMain.h"

int main(int argc, char** argv) {
    return runGuiTests(argc, argv, TestEngine::Real);
}
