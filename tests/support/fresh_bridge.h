// Puts the bridge's process-wide records back as start-up leaves them, with
// the recording library double as the instance, for unit tests that run in
// one process one after the other.
#pragma once

void ResetBridgeRecords();
