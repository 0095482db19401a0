#include "tests/support/GuiTestMain.h"

int main(int argc, char** argv) {
    return runGuiTests(argc, argv);
}
