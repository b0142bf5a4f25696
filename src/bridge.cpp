// The process-wide records, from static initialisation to process end.
#include "bridge.h"

BridgeConfig gBridgeConfig;
BridgeState gBridgeState;
UserDirectory gUserDirectory;
ChannelDirectory gChannelDirectory;
