#include "src/tonecast/driver.h"

int main(int argc, char** argv) { return tonecast_main(argc, argv); }
