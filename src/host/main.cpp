#include "host/request_cycle.h"

int main(int argc, char** argv) { return tolv::run_runner(argc, argv); }
