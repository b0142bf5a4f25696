// The process-wide configuration record.
#include "core/bridge_config.h"

BridgeConfig gBridgeConfig;
