#include "app/ProgramState.h"

TProgramState State;
