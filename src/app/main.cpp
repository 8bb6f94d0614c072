#include "app/program_flow.h"

int main() { return solidmorph::run_program(); }
