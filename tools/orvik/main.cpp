#include "Cli.h"

int main(int argc, char** argv) { return OrvikFramework::Cli::run(argc, argv); }
