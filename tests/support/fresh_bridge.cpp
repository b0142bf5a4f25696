// Fresh records for each unit test.
#include "fresh_bridge.h"

#include "core/bridge_config.h"
#include "core/bridge_state.h"
#include "library_double.h"
#include "session/directories.h"

void ResetBridgeRecords() {
    gBridgeConfig = BridgeConfig();
    gBridgeState = BridgeState();
    gBridgeState.instance = DoubleInstance();
    gUserDirectory.clear();
    gChannelDirectory.clear();
    gLibraryDouble = LibraryDouble();
}
