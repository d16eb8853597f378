// placeholder
#include "settings/targets.h"
TTargetRec Targets[kTargetCount];
std::int32_t TargetLast = 0;
