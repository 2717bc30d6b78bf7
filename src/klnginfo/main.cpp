#include "src/klnginfo/driver.h"

int main(int argc, char** argv) { return klnginfo_main(argc, argv); }
