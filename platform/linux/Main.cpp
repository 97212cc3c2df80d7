// Linux entry point of the tool: the framework runs the application object.
#include "platform/Framework.h"

int main() { return RunApplication(); }
