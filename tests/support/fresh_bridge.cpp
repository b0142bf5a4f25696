// Fresh records for each unit test.
#include "fresh_bridge.h"

#include "bridge.h"
#include "commands/command_file.h"
#include "files/event_log.h"
#include "files/pending_writes.h"
#include "library_double.h"
#include "session/command_outcomes.h"
#include "session/private_messages.h"

void ResetBridgeRecords() {
    gBridgeConfig = BridgeConfig();
    gBridgeState = BridgeState();
    gBridgeState.instance = DoubleInstance();
    gUserDirectory = UserDirectory();
    gChannelDirectory = ChannelDirectory();
    gPendingWrites = PendingWrites();
    gCommandFile = CommandFileState();
    gEventLog = EventLog();
    gRequests = Requests();
    gUnfinishedMessages.clear();
    gLibraryDouble = LibraryDouble();
}
