#pragma once
#include "sim/in_process.h"
