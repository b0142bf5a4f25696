// The dispatch table from event codes to the session handlers.
#include "core/event_dispatch.h"

#include "session/connection_events.h"
#include "session/directories.h"
#include "session/own_channel.h"
#include "session/private_messages.h"

namespace {

struct EventRoute {
    INT32 code;
    void (*handler)(const VoiceEvent&);
};

const EventRoute kEventRoutes[] = {
    {CLIENTEVENT_CON_SUCCESS, HandleConnectionSuccess},
    {CLIENTEVENT_CON_FAILED, HandleSessionEnded},
    {CLIENTEVENT_CON_LOST, HandleSessionEnded},
    {CLIENTEVENT_CMD_ERROR, HandleCommandError},
    {CLIENTEVENT_CMD_MYSELF_LOGGEDIN, HandleMyselfLoggedIn},
    {CLIENTEVENT_CMD_MYSELF_LOGGEDOUT, HandleSessionEnded},
    {CLIENTEVENT_CMD_MYSELF_KICKED, HandleSessionEnded},
    {CLIENTEVENT_CMD_USER_LOGGEDIN, HandleUserLoggedInOrUpdated},
    {CLIENTEVENT_CMD_USER_LOGGEDOUT, HandleUserLoggedOut},
    {CLIENTEVENT_CMD_USER_UPDATE, HandleUserLoggedInOrUpdated},
    {CLIENTEVENT_CMD_USER_JOINED, HandleUserJoined},
    {CLIENTEVENT_CMD_USER_LEFT, HandleUserLeft},
    {CLIENTEVENT_CMD_USER_TEXTMSG, HandleTextMessage},
    {CLIENTEVENT_CMD_CHANNEL_NEW, HandleChannelNew},
    {CLIENTEVENT_CMD_CHANNEL_UPDATE, HandleChannelUpdate},
    {CLIENTEVENT_CMD_CHANNEL_REMOVE, HandleChannelRemove},
};

}  // namespace

void HandleClientEvent(const VoiceEvent& event) {
    for (const EventRoute& route : kEventRoutes) {
        if (route.code == event.code) return route.handler(event);
    }
}
