// The session's status word.
#include "session/status.h"

#include "bridge.h"
#include "files/state_file.h"

void SetStatus(const char* status) {
    if (gBridgeState.session != SessionStage::Ended) gBridgeState.status = status;
    WriteStateFile();
}
