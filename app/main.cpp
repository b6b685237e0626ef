#include "window/shell_support.h"

int main(int argc, char** argv) { return brevin::Main(argc, argv); }
