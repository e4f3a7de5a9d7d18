// script_shared_state: storage of the process-wide script exchange record.
#include "scripting/script_shared_state.h"

script_shared_state_t script_shared_state;
