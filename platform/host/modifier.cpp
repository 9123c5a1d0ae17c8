#include "platform/host/modifier.h"

BOOL Modifier::GetParamValue(int, TimeValue, int&, Interval&) { return FALSE; }
