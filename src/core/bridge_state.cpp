// The process-wide session record.
#include "core/bridge_state.h"

BridgeState gBridgeState;
