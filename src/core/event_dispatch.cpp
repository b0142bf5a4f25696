// The dispatch table from event codes to the session handlers.
#include "core/event_dispatch.h"

void HandleClientEvent(const TTMessage& message) {
    switch (message.nClientEvent) {
        default:
            break;
    }
}
