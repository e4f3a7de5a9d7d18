// time_line: the pending list is destroyed before the active list.
#include "engine/time_line.h"

time_line::~time_line()
{
    pending.clear();
    active.clear();
}
