/*
 * voiceclient: a small voice-chat client library used in polling mode.
 *
 * One instance holds one connection to a voice server. The library never
 * calls back into its user: events are pulled with TT_GetMessage. All text
 * is UTF-16 in fixed, zero-terminated arrays of TT_STRLEN units.
 */
#ifndef VOICECLIENT_H
#define VOICECLIENT_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(VOICECLIENT_BUILD)
#define VOICECLIENT_API __declspec(dllexport)
#elif defined(VOICECLIENT_NO_DLLIMPORT)
/* Calls go through the import library's stubs, so the same objects also
   link against a statically linked stand-in. */
#define VOICECLIENT_API
#else
#define VOICECLIENT_API __declspec(dllimport)
#endif
typedef wchar_t TTCHAR;
#else
#define VOICECLIENT_API __attribute__((visibility("default")))
#ifdef __cplusplus
typedef char16_t TTCHAR;
#else
typedef uint_least16_t TTCHAR;
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t INT32;
typedef int TTBOOL;

/* Length of every text array, terminator included. */
#define TT_STRLEN 512

typedef struct TTInstance TTInstance;

enum ClientEvent {
    CLIENTEVENT_NONE = 0,
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

/* Which record of the TTMessage union an event carries. */
enum TTType {
    TTTYPE_NONE = 0,
    TTTYPE_USER = 1,
    TTTYPE_CHANNEL = 2,
    TTTYPE_TEXTMESSAGE = 3,
    TTTYPE_CLIENTERRORMSG = 4
};

enum TextMsgType { MSGTYPE_USER = 1, MSGTYPE_CHANNEL = 2, MSGTYPE_BROADCAST = 3 };

typedef struct User {
    INT32 nUserID;
    INT32 nChannelID;
    TTCHAR szNickname[TT_STRLEN];
    TTCHAR szUsername[TT_STRLEN];
} User;

typedef struct Channel {
    INT32 nParentID;
    INT32 nChannelID;
    TTCHAR szName[TT_STRLEN];
    TTBOOL bPassword;
} Channel;

typedef struct TextMessage {
    INT32 nMsgType;
    INT32 nFromUserID;
    TTCHAR szFromUsername[TT_STRLEN];
    INT32 nToUserID;
    INT32 nChannelID;
    TTCHAR szMessage[TT_STRLEN];
    /* Set when the sender's text continues in the next message. */
    TTBOOL bMore;
} TextMessage;

typedef struct ClientErrorMsg {
    INT32 nErrorNo;
    TTCHAR szErrorMsg[TT_STRLEN];
} ClientErrorMsg;

typedef struct TTMessage {
    INT32 nClientEvent;
    /* The user ID for CLIENTEVENT_CMD_MYSELF_LOGGEDIN, the command ID for
       CLIENTEVENT_CMD_ERROR, otherwise 0. */
    INT32 nSource;
    INT32 ttType;
    union {
        User user;
        Channel channel;
        TextMessage textmessage;
        ClientErrorMsg clienterrormsg;
    };
} TTMessage;

/* Creates an instance in polling mode; NULL when it cannot be created
   (also when the environment variable VOICECLIENT_FAIL_INIT is "1", so that
   a program's start-up failure can be tried). */
VOICECLIENT_API TTInstance* TT_InitTeamTalkPoll(void);

/* Ends any connection and frees the instance. */
VOICECLIENT_API TTBOOL TT_CloseTeamTalk(TTInstance* instance);

/* Starts a connection attempt. TRUE only means the attempt has begun: the
   outcome arrives as CLIENTEVENT_CON_SUCCESS or CLIENTEVENT_CON_FAILED. */
VOICECLIENT_API TTBOOL TT_Connect(TTInstance* instance, const TTCHAR* host, INT32 tcpPort,
                                  INT32 udpPort, INT32 localTcpPort, INT32 localUdpPort,
                                  TTBOOL encrypted);

/* Ends the connection or attempt at once, without an event; undelivered
   events are dropped. TT_Connect may be called again afterwards. */
VOICECLIENT_API TTBOOL TT_Disconnect(TTInstance* instance);

/* Waits at most *waitMs milliseconds for one event (a negative wait has no
   limit, a null pointer means 0). */
VOICECLIENT_API TTBOOL TT_GetMessage(TTInstance* instance, TTMessage* message, const INT32* waitMs);

/* The Do-commands return a command ID (> 0), or -1 when the request could
   not be sent. A rejected command comes back as CLIENTEVENT_CMD_ERROR with
   that ID in nSource. */
VOICECLIENT_API INT32 TT_DoLogin(TTInstance* instance, const TTCHAR* nickname,
                                 const TTCHAR* username, const TTCHAR* password);
VOICECLIENT_API INT32 TT_DoJoinChannelByID(TTInstance* instance, INT32 channelId,
                                           const TTCHAR* password);
VOICECLIENT_API INT32 TT_DoLeaveChannel(TTInstance* instance);
VOICECLIENT_API INT32 TT_DoTextMessage(TTInstance* instance, const TextMessage* message);

/* The default input and output devices. There is no audio in this library:
   the devices are 1 and 2, and TRUE is returned, unless the environment
   variable VOICECLIENT_NO_SOUND_DEVICES is "1", which stands for a machine
   without sound devices (FALSE, the IDs untouched). */
VOICECLIENT_API TTBOOL TT_GetDefaultSoundDevices(INT32* inputDeviceId, INT32* outputDeviceId);
VOICECLIENT_API TTBOOL TT_InitSoundInputDevice(TTInstance* instance, INT32 deviceId);
VOICECLIENT_API TTBOOL TT_InitSoundOutputDevice(TTInstance* instance, INT32 deviceId);
VOICECLIENT_API TTBOOL TT_EnableVoiceTransmission(TTInstance* instance, TTBOOL enable);

#ifdef __cplusplus
}
#endif

#endif
