/*
 * What the bridge relies on of the voice client library, and nothing more:
 * the operations, records, fields and event codes it was written to. The
 * bridge is compiled against this header alone as a build check, so that
 * reaching for anything else of a library header fails the build, not a
 * deployment against the vendor's library. The records hold only the
 * fields the bridge reads or writes, so their layout is not the library's:
 * the check compiles, it links nothing.
 */
#ifndef VOICECLIENT_H
#define VOICECLIENT_H

#include <stdint.h>

#if defined(_WIN32)
typedef wchar_t TTCHAR;
#else
typedef char16_t TTCHAR;
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t INT32;
typedef int TTBOOL;

#define TT_STRLEN 512

typedef struct TTInstance TTInstance;

enum ClientEvent {
    CLIENTEVENT_CON_SUCCESS = 10,
    CLIENTEVENT_CON_FAILED = 20,
    CLIENTEVENT_CON_LOST = 30,
    CLIENTEVENT_CMD_ERROR = 210,
    CLIENTEVENT_CMD_MYSELF_LOGGEDIN = 230,
    CLIENTEVENT_CMD_MYSELF_LOGGEDOUT = 240,
    CLIENTEVENT_CMD_MYSELF_KICKED = 250,
    CLIENTEVENT_CMD_USER_LOGGEDIN = 260,
    CLIENTEVENT_CMD_USER_LOGGEDOUT = 270,
    CLIENTEVENT_CMD_USER_UPDATE = 280,
    CLIENTEVENT_CMD_USER_JOINED = 290,
    CLIENTEVENT_CMD_USER_LEFT = 300,
    CLIENTEVENT_CMD_USER_TEXTMSG = 310,
    CLIENTEVENT_CMD_CHANNEL_NEW = 320,
    CLIENTEVENT_CMD_CHANNEL_UPDATE = 330,
    CLIENTEVENT_CMD_CHANNEL_REMOVE = 340
};

enum TextMsgType { MSGTYPE_USER = 1 };

typedef struct User {
    INT32 nUserID;
    INT32 nChannelID;
    TTCHAR szNickname[TT_STRLEN];
} User;

typedef struct Channel {
    INT32 nParentID;
    INT32 nChannelID;
    TTCHAR szName[TT_STRLEN];
} Channel;

typedef struct TextMessage {
    INT32 nMsgType;
    INT32 nFromUserID;
    INT32 nToUserID;
    TTCHAR szMessage[TT_STRLEN];
    /* The field after the text: set when the text goes on in the next
       message. */
    TTBOOL bMore;
} TextMessage;

typedef struct ClientErrorMsg {
    TTCHAR szErrorMsg[TT_STRLEN];
} ClientErrorMsg;

typedef struct TTMessage {
    INT32 nClientEvent;
    INT32 nSource;
    union {
        User user;
        Channel channel;
        TextMessage textmessage;
        ClientErrorMsg clienterrormsg;
    };
} TTMessage;

TTInstance* TT_InitTeamTalkPoll(void);
TTBOOL TT_Connect(TTInstance* instance, const TTCHAR* host, INT32 tcpPort, INT32 udpPort,
                  INT32 localTcpPort, INT32 localUdpPort, TTBOOL encrypted);
TTBOOL TT_GetMessage(TTInstance* instance, TTMessage* message, const INT32* waitMs);
INT32 TT_DoLogin(TTInstance* instance, const TTCHAR* nickname, const TTCHAR* username,
                 const TTCHAR* password);
TTBOOL TT_GetDefaultSoundDevices(INT32* inputDeviceId, INT32* outputDeviceId);
TTBOOL TT_InitSoundInputDevice(TTInstance* instance, INT32 deviceId);
TTBOOL TT_InitSoundOutputDevice(TTInstance* instance, INT32 deviceId);
TTBOOL TT_EnableVoiceTransmission(TTInstance* instance, TTBOOL enable);
INT32 TT_DoJoinChannelByID(TTInstance* instance, INT32 channelId, const TTCHAR* password);
INT32 TT_DoLeaveChannel(TTInstance* instance);
INT32 TT_DoTextMessage(TTInstance* instance, const TextMessage* message);

#ifdef __cplusplus
}
#endif

#endif
