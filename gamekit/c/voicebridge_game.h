/* voicebridge_game.h: voice chat for a game through voicebridge, in one file.

   The game starts the bridge and talks to it through the text files in
   data/ under the bridge's working directory (the game folder); this file
   does what every game must get right there, as docs/game-integration.md
   says: a start that cannot be fooled by an earlier run's files, one
   command at a time paired with its outcome, private messages read once
   each from a kept offset, opens that Windows never refuses, a bridge that
   ends with the game and, when asked, comes back after a lost link.

   C99, compiles as C++ too, Windows and POSIX. Include it wherever it is
   used; compile the implementation in a file of its own (the kit ships it
   as voicebridge_game.c), so that windows.h never reaches the game's code:

       #define VOICEBRIDGE_GAME_IMPLEMENTATION
       #include "voicebridge_game.h"

   One pump a frame: vbg_update reads what changed, writes the next queued
   command and returns the events since the last call; it never waits.
   vbg_post queues a command and returns at once; its outcome comes through
   a later vbg_update. Only vbg_start, vbg_start_with, vbg_stop, vbg_free
   and the explicit waits (vbg_wait_status, vbg_send) ever wait.

   Memory: the caller owns the vbg_bridge and zeroes it (`vbg_bridge bridge
   = {0};` in C, `= {};` in C++); vbg_free frees everything the kit holds.
   How long each returned pointer lives is said at each call below; nothing
   is for the caller to free. Strings are UTF-8 in and out. One vbg_bridge
   serves one bridge process and is used from one thread; there is no
   global state.
*/
#ifndef VOICEBRIDGE_GAME_H
#define VOICEBRIDGE_GAME_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VBG_VERSION "1.1.0"
#define VBG_STOP_TIMEOUT_MS 5000 /* what vbg_stop is given when in doubt */
#define VBG_ERROR_SIZE 256       /* vbg_bridge.error, terminating zero included */
#define VBG_STATE_KEY_COUNT \
    7 /* status, ptt, myuserid, mychannelid, mychannelname, nickname, error */
#define VBG_MAX_COMMAND_BYTES 1048576 /* the longest command the bridge reads */

/* The data folder, its files, and the byte between the fields of a line. */
#define VBG_DATA_DIRECTORY "data"
#define VBG_STATE_FILE "state.txt"
#define VBG_USERS_FILE "users.txt"
#define VBG_CHANNELS_FILE "channels.txt"
#define VBG_MEMBERS_FILE "members.txt"
#define VBG_PM_FILE "pm_in.txt"
#define VBG_EVENTS_FILE "events.txt"
#define VBG_OLD_EVENTS_FILE "events.old.txt"
#define VBG_COMMAND_FILE "cmd.txt"
#define VBG_LOCK_FILE "voicebridge.lock"
#define VBG_FIELD_SEPARATOR '|'
#define VBG_PASSWORD_VARIABLE "VOICEBRIDGE_PASSWORD"

/* The status words of the state (vbg_status, vbg_wait_status). */
#define VBG_STATUS_STARTING "starting"
#define VBG_STATUS_LOGGED_IN "loggedin"
#define VBG_STATUS_AUTHORIZED "authorized"
#define VBG_STATUS_ERROR "error" /* with myuserid 0: the end of the session */

/* What the bridge takes for an argument left out, for a game that gives a
   later one: host, TCP and UDP port, encryption, nickname. */
#define VBG_DEFAULT_HOST "localhost"
#define VBG_DEFAULT_PORT "10333"
#define VBG_DEFAULT_ENCRYPTED "0"
#define VBG_DEFAULT_NICKNAME "Jogador"

/* A command's outcome (vbg_request.outcome): "done" or the reason it failed. */
#define VBG_OUTCOME_DONE "done"
#define VBG_OUTCOME_NOT_A_COMMAND "not_a_command"
#define VBG_OUTCOME_SESSION_OVER "session_over"
#define VBG_OUTCOME_NO_SUCH_CHANNEL "no_such_channel"
#define VBG_OUTCOME_NO_SUCH_USER "no_such_user"
#define VBG_OUTCOME_REJECTED "rejected"
#define VBG_OUTCOME_DISCARDED "discarded"

/* Why a session ended (vbg_event.reason of VBG_EVENT_SESSION_OVER, vbg_end_reason). */
#define VBG_END_CONNECTION_FAILED "connection_failed"
#define VBG_END_LOGIN_REFUSED "login_refused"
#define VBG_END_LINK_LOST "link_lost"
#define VBG_END_LOGGED_OUT "logged_out"
#define VBG_END_REMOVED "removed"
#define VBG_END_STOPPED "stopped"
#define VBG_END_ALREADY_RUNNING "already_running"
#define VBG_END_CANNOT_WRITE "cannot_write"
#define VBG_END_NOT_STARTED "not_started"
#define VBG_END_BRIDGE_ENDED "bridge_ended"

/* What vbg_read_state found. */
enum {
    VBG_STATE_NONE = 0, /* this run has not published yet: no state */
    VBG_STATE_READ = 1, /* read now */
    VBG_STATE_KEPT = 2  /* the file could not be read now: the last good state is kept */
};

/* What vbg_send did. */
enum {
    VBG_SEND_REFUSED = -2, /* not a bridge command with a well-formed argument: no file touched */
    VBG_SEND_BUSY = -1,    /* not written: the commands before it were not taken in time, or
                              no session is left to take it */
    VBG_SEND_WAITING =
        0, /* written, not taken in time: it still waits and will run; do not send it again */
    VBG_SEND_TAKEN = 1
};

/* The shape of a command's argument. */
enum {
    VBG_ARGUMENT_NONE,
    VBG_ARGUMENT_CHANNEL_ID,
    VBG_ARGUMENT_CHANNEL_NAME,
    VBG_ARGUMENT_USER_ID_TEXT
};

/* What vbg_update returns. */
enum {
    VBG_EVENT_STATUS,       /* status: this run's status word changed ("" before the first) */
    VBG_EVENT_USERS,        /* the users were published anew: vbg_users */
    VBG_EVENT_CHANNELS,     /* the channels were published anew: vbg_channels */
    VBG_EVENT_MEMBERS,      /* who is in which channel changed: vbg_users' channel_id */
    VBG_EVENT_MESSAGE,      /* message: a private message arrived */
    VBG_EVENT_OUTCOME,      /* request: a command got its outcome */
    VBG_EVENT_SESSION_OVER, /* reason, text: the session ended (once a session) */
    VBG_EVENT_RESTARTING    /* attempt, delay_ms: a restart is due after that delay */
};

typedef struct vbg_command {
    const char *keyword;
    int argument;      /* VBG_ARGUMENT_... */
    const char *shape; /* "none", "channel_id", "channel_name" or "user_id_text" */
} vbg_command;

typedef struct vbg_user {
    int id;
    const char *name;
    int channel_id; /* the channel members.txt gives it; 0 while in none or not yet known */
} vbg_user;

typedef struct vbg_channel {
    int id;
    const char *name; /* the root channel's is empty */
    int parent_id;
} vbg_channel;

typedef struct vbg_message {
    int from_id;
    const char *sender;
    const char *text;
} vbg_message;

/* A command posted (vbg_post), or a join the kit posted again after a
   restart (resent 1). The kit owns it: it stays valid until the game gives
   it back with vbg_release, or vbg_free. */
typedef struct vbg_request {
    const char *text;        /* the command as posted */
    const char *outcome;     /* NULL while pending, then VBG_OUTCOME_DONE or the reason */
    const char *server_text; /* the server's words with a refusal, else "" */
    int resent;              /* 1: the kit's own re-sent join */
    /* The rest is the kit's own. */
    int stage_, released_, internal_;
    long long seq_;
    char reason_[32];
    struct vbg_request *previous_, *next_;
} vbg_request;

typedef struct vbg_event {
    int kind;                  /* VBG_EVENT_... */
    const char *status;        /* STATUS */
    vbg_message message;       /* MESSAGE */
    vbg_request *request;      /* OUTCOME */
    const char *reason, *text; /* SESSION_OVER: VBG_END_..., and the bridge's text or "" */
    int attempt, delay_ms;     /* RESTARTING */
} vbg_event;

/* What vbg_start_with takes besides the bridge's arguments. Zeroed, it is
   vbg_start. */
typedef struct vbg_options {
    const char *username; /* a server account's user name: the bridge's sixth argument */
    const char *password; /* its password, put only in the bridge's environment; NULL: none */
    int restart;          /* 1: start the bridge again after a lost link (below) */
} vbg_options;

typedef struct vbg_bridge {
    char error[VBG_ERROR_SIZE]; /* why the last vbg_start failed */
    struct vbg__kit *kit;       /* the kit's own */
} vbg_bridge;

/* Starts PROGRAM (a path, absolute or from the current directory) with
   ARGS, the bridge's positional arguments, in GAME_DIR, which it makes. A
   bridge this object started before is ended first, the old state file is
   deleted, and the message offset goes back to 0. Windows: a job object
   ends the bridge with the game; Linux: a parent-death signal does (start
   it from a thread that lives as long as the game). The bridge inherits no
   file, socket or handle of the game's. Waits: one process start. 1 when it
   started, else 0 and bridge->error says why. */
int vbg_start(vbg_bridge *bridge, const char *game_dir, const char *program,
              const char *const *args, int arg_count);

/* vbg_start with OPTIONS (NULL: none). A user name becomes the sixth
   argument (the five before it filled with the bridge's defaults when
   ARGS has fewer; a sixth in ARGS is replaced). The password goes only
   into the bridge's environment as VOICEBRIDGE_PASSWORD, never the game's
   or a command line; without one, an inherited VOICEBRIDGE_PASSWORD is
   left out of it. With restart on, a session that ends with
   connection_failed or link_lost, or a bridge that ends by itself, is
   started again by vbg_update after 1, 2, 4, 8, 16, then 30 s (1 s again
   once a session stayed up 60 s); only vbg_stop ends the retries. */
int vbg_start_with(vbg_bridge *bridge, const char *game_dir, const char *program,
                   const char *const *args, int arg_count, const vbg_options *options);

/* The pump: call it once a frame. Reads what changed (each file from a
   kept offset, or when its size or time changed), writes the next queued
   command once cmd.txt is free, restarts the bridge when one is due (that
   frame costs one process start), and returns the events since the last
   call in order, their count the result. Never waits. *EVENTS and every
   string in them stay valid until the next vbg_update, vbg_start or
   vbg_free. */
int vbg_update(vbg_bridge *bridge, const vbg_event **events);

/* Queues COMMAND (see vbg_commands and the guide's rules) and returns at
   once; written at once when cmd.txt is free and nothing is queued before
   it. The outcome comes through a later vbg_update (an outcome event);
   one posted when no session is left (none started, stopped, or ended
   without a restart to come) fails session_over at once. NULL for a
   malformed command (nothing queued, no file touched) or no memory. */
vbg_request *vbg_post(vbg_bridge *bridge, const char *command);

/* Gives REQUEST back: the game no longer reads it. The kit frees it now,
   or once its outcome has come; it is not to be used afterwards. */
void vbg_release(vbg_bridge *bridge, vbg_request *request);

/* Ends the bridge and waits for it: POSIX SIGTERM, then SIGKILL after
   TIMEOUT_MS; Windows TerminateProcess with 143, the code SIGTERM gives.
   Ends a restart's retries; every command still queued or pending fails
   session_over, and the session ends as stopped. The lists stay readable. */
void vbg_stop(vbg_bridge *bridge, int timeout_ms);

/* vbg_stop, then frees all the kit holds; the bridge is zeroed for reuse. */
void vbg_free(vbg_bridge *bridge);

/* 1 and *CODE once the bridge has ended, 0 while it runs or before a start.
   The codes are the guide's (1, 2, 3); on Windows the unsigned
   GetExitCodeProcess value (3221225781: voiceclient.dll missing), on POSIX
   128 + the signal that ended it. Superseded by vbg_end_reason. */
int vbg_exit_code(vbg_bridge *bridge, long long *code);

/* Why the last session ended (VBG_END_...), the same on every system; ""
   while none has ended since the start. Valid until vbg_start or vbg_free. */
const char *vbg_end_reason(const vbg_bridge *bridge);

/* Reads data/state.txt again, once it is this run's (the file exists and
   data/voicebridge.lock names the process started). VBG_STATE_... */
int vbg_read_state(vbg_bridge *bridge);

/* KEY's value in this run's state; "" when there is none. In a game that
   calls vbg_update, valid until the
   next vbg_update, vbg_read_state, vbg_wait_status, vbg_send, vbg_start or
   vbg_free: vbg_status and vbg_session_over then give what the last
   vbg_update read. In a 1.0.0 game that never pumps, those two read the
   state again too, and end the values' life as well. */
const char *vbg_state_value(const vbg_bridge *bridge, const char *key);

/* The status word, as the last vbg_update read it (in a game that never
   pumps, read now); "" until this run publishes (and while a restart is
   due). Lives as vbg_state_value's values. */
const char *vbg_status(vbg_bridge *bridge);

/* 1 once the status is WORD, 0 when TIMEOUT_MS pass or the session is over
   first. Waits, polling every 2 ms. */
int vbg_wait_status(vbg_bridge *bridge, const char *word, int timeout_ms);

/* 1 when the session is over: status error with myuserid 0 in this run's
   state, or no bridge process running. */
int vbg_session_over(vbg_bridge *bridge);

/* The blocking send of 1.0.0, for scripts and tools: queues COMMAND like
   vbg_post and waits up to TIMEOUT_MS in all until the bridge takes it.
   VBG_SEND_... Superseded by vbg_post. */
int vbg_send(vbg_bridge *bridge, const char *command, int timeout_ms);

/* The next private message that no vbg_update has returned yet: 1 and
   *MESSAGE, or 0 when there is none. MESSAGE's texts stay valid until the
   next vbg_next_message, vbg_start or vbg_free. Superseded by vbg_update's
   message events (a game uses one or the other). */
int vbg_next_message(vbg_bridge *bridge, vbg_message *message);

/* This run's users (each with its channel) and channels; none until this
   run publishes them. Valid until the next vbg_update, the next call of the
   same function, vbg_start or vbg_free (vbg_update rewrites channel_id in
   place when only the members changed). */
const vbg_user *vbg_users(vbg_bridge *bridge, int *count);
const vbg_channel *vbg_channels(vbg_bridge *bridge, int *count);

/* The commands the bridge takes, in the order it tries them (static). */
const vbg_command *vbg_commands(int *count);

/* The state's keys in the bridge's order (static). */
const char *const *vbg_state_keys(void);

#ifdef __cplusplus
}
#endif

#endif /* VOICEBRIDGE_GAME_H */

/* ---------------------------------------------------------------------- */

#if defined(VOICEBRIDGE_GAME_IMPLEMENTATION) && !defined(VOICEBRIDGE_GAME_IMPLEMENTED)
#define VOICEBRIDGE_GAME_IMPLEMENTED

#if !defined(_WIN32) && !defined(_POSIX_C_SOURCE) && !defined(_XOPEN_SOURCE) && \
    !defined(_GNU_SOURCE) && !defined(_DEFAULT_SOURCE)
#define _POSIX_C_SOURCE 200809L
#endif

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define VBG__POLL_MS 2
#define VBG__SEND_POLL_MS 1
#define VBG__MAX_ID 2147483647LL
#define VBG__RACY_NS 50000000LL /* a file changed this recently may change again unseen */
#define VBG__FIRST_DELAY_MS 1000
#define VBG__LONGEST_DELAY_MS 30000
#define VBG__STEADY_SESSION_MS 60000 /* a session up this long starts the delays afresh */
#define VBG__KILL_AFTER_MS 5000      /* an old bridge that ignores SIGTERM this long */
#define VBG__KEPT_PAIRS 1024         /* delivered messages whose late refusal is still told */

static const vbg_command vbg__command_table[] = {
    {"refresh", VBG_ARGUMENT_NONE, "none"},
    {"leave", VBG_ARGUMENT_NONE, "none"},
    {"ptt_on", VBG_ARGUMENT_NONE, "none"},
    {"ptt_off", VBG_ARGUMENT_NONE, "none"},
    {"joinid", VBG_ARGUMENT_CHANNEL_ID, "channel_id"},
    {"joinpath", VBG_ARGUMENT_CHANNEL_NAME, "channel_name"},
    {"pm", VBG_ARGUMENT_USER_ID_TEXT, "user_id_text"},
};
#define VBG__COMMAND_COUNT ((int)(sizeof vbg__command_table / sizeof vbg__command_table[0]))

/* The state's keys in the bridge's order; the ones the kit reads named. */
enum { VBG__KEY_STATUS = 0, VBG__KEY_MY_USER_ID = 2 };
static const char *const vbg__state_key_names[VBG_STATE_KEY_COUNT] = {
    "status", "ptt", "myuserid", "mychannelid", "mychannelname", "nickname", "error"};

/* The lines of events.txt the kit acts on. */
#define VBG__EVENT_TAKEN "taken"
#define VBG__EVENT_DONE "done"
#define VBG__EVENT_FAILED "failed"
#define VBG__EVENT_LOGGED_IN "loggedin"
#define VBG__EVENT_OVER "over"
#define VBG__EVENT_USERS "users"
#define VBG__EVENT_CHANNELS "channels"
#define VBG__EVENT_MEMBERS "members"

/* The files in data/, by the kit's own number. */
enum {
    VBG__STATE,
    VBG__USERS,
    VBG__CHANNELS,
    VBG__MEMBERS,
    VBG__PM,
    VBG__EVENTS,
    VBG__OLD_EVENTS,
    VBG__COMMAND,
    VBG__LOCK,
    VBG__FILE_COUNT
};
static const char *const vbg__file_names[VBG__FILE_COUNT] = {
    VBG_STATE_FILE,  VBG_USERS_FILE,      VBG_CHANNELS_FILE, VBG_MEMBERS_FILE, VBG_PM_FILE,
    VBG_EVENTS_FILE, VBG_OLD_EVENTS_FILE, VBG_COMMAND_FILE,  VBG_LOCK_FILE};

/* A request's way through the bridge. */
enum { VBG__QUEUED, VBG__WRITTEN, VBG__TAKEN, VBG__ANSWERED };

/* What a file looked like when last read: a change of any of these, or a
   read so soon after its change that another could share its time, has it
   read again. */
typedef struct vbg__stamp {
    int exists;
    unsigned long long size, id;
    long long modified_ns, changed_ns;
} vbg__stamp;

typedef struct vbg__watch {
    vbg__stamp stamp;
    int seen, racy, dirty;
} vbg__watch;

typedef struct vbg__process {
    long long pid, exit_code;
    void *handle, *job; /* Windows */
    int running, terminated;
    long long terminated_at;
} vbg__process;

/* An event before vbg_update hands it out: its strings are offsets into
   the batch's text, which may still move. */
typedef struct vbg__queued_event {
    vbg_event event;
    size_t status, sender, text, reason;
} vbg__queued_event;

typedef struct vbg__pair {
    long long seq;
    vbg_request *request;
} vbg__pair;

typedef struct vbg__member {
    int user_id, channel_id;
} vbg__member;

/* A list file as last read, and what was made of it. */
typedef struct vbg__list {
    vbg__watch watch;
    char *text; /* cut into the items' strings */
    size_t length;
    unsigned long long hash; /* of the text as read, to tell a change */
    void *items;
    int count;
} vbg__list;

struct vbg__kit {
    char *paths[VBG__FILE_COUNT];
    char *game_dir, *program, *password, **args;
    int arg_count, has_password, restart, events_wanted;
    int pumped; /* the game has called vbg_update: it is what reads */
    vbg__process process;
    int run, trusted, over, hold, retrying, attempt;
    long long restart_due, up_since, last_seq;
    char end_reason[32];
    /* the state: its text, values into it, and the last status told */
    char *state_text;
    unsigned long long state_hash;
    const char *state_values[VBG_STATE_KEY_COUNT];
    vbg__watch state_watch;
    int state_cleared;
    char told_status[32];
    vbg__list users, channels, members;
    unsigned long long pm_offset, events_offset;
    char *pm_text; /* what vbg_next_message hands out */
    size_t pm_length, pm_position;
    /* commands: all the kit holds, those not written yet, those written
       and not yet taken, and those taken and waiting for their outcome */
    vbg_request *requests;
    vbg_request **queue, **written;
    int queue_count, queue_size, written_count, written_size;
    vbg__pair *pairs;
    int pair_count, pair_size;
    char *last_join;
    vbg_request *rejoin; /* the join sent again, while its outcome is awaited */
    /* events: the batch being gathered, and the one vbg_update handed out */
    vbg__queued_event *gathered;
    int gathered_count, gathered_size;
    char *gathered_text;
    size_t gathered_length, gathered_text_size;
    vbg_event *handed;
    char *handed_text;
    int handed_size;
};

/* The platform seam, at the bottom of the file. */
enum { VBG__ABSENT, VBG__FAILED, VBG__OK };
static long long vbg__now_ms(void);
static long long vbg__file_clock_ns(void); /* the clock files are stamped by */
static void vbg__sleep_ms(int ms);
static int vbg__stat(const char *path, vbg__stamp *stamp);
/* Reads PATH from *OFFSET (0 when OFFSET is NULL; back to 0 when the file
   is shorter) to its end into a new zero-terminated *TEXT. VBG__... */
static int vbg__read_file(const char *path, unsigned long long *offset, char **text,
                          size_t *length);
static int vbg__write_file(const char *path, const char *text, size_t length);
static void vbg__remove_file(const char *path);
static int vbg__make_one_dir(const char *path); /* 1 when PATH is a directory afterwards */
static int vbg__spawn(struct vbg__kit *k, char *error, size_t error_size);
static int vbg__poll_end(vbg__process *p);   /* 1 once ended; sets exit_code */
static void vbg__terminate(vbg__process *p); /* asks it to end, without waiting */
static void vbg__kill(vbg__process *p);
static void vbg__end(vbg__process *p, int timeout_ms); /* ends it and waits */
/* The end reason of a process that ended by itself with CODE. */
static const char *vbg__exit_reason(long long code);

static char *vbg__copy(const char *text, size_t length) {
    char *copy = (char *)malloc(length + 1);
    if (copy == NULL) return NULL;
    memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

static char *vbg__join(const char *dir, const char *name) {
    size_t a = strlen(dir), n = strlen(name);
    char *path = (char *)malloc(a + n + 2);
    if (path == NULL) return NULL;
    memcpy(path, dir, a);
    path[a] = '/';
    memcpy(path + a + 1, name, n + 1);
    return path;
}

/* Room for NEEDED items in *ARRAY of *SIZE items of ITEM bytes. */
static int vbg__room(void *array, int *size, int needed, size_t item) {
    void **items = (void **)array;
    int size_wanted = *size > 0 ? *size : 8;
    void *grown;
    if (needed <= *size) return 1;
    while (size_wanted < needed) size_wanted *= 2;
    grown = realloc(*items, item * (size_t)size_wanted);
    if (grown == NULL) return 0;
    *items = grown;
    *size = size_wanted;
    return 1;
}

/* Every directory on the way, as mkdir -p. */
static int vbg__make_dirs(const char *dir) {
    char *path = vbg__copy(dir, strlen(dir));
    size_t i;
    int made;
    if (path == NULL) return 0;
    for (i = 1; path[i] != '\0'; ++i) {
        char c = path[i];
        if (c != '/' && c != '\\') continue;
        path[i] = '\0';
        vbg__make_one_dir(path);
        path[i] = c;
    }
    made = vbg__make_one_dir(path);
    free(path);
    return made;
}

/* FNV-1a: whether a file read again holds what it held, once its text is
   cut into strings. */
static unsigned long long vbg__hash(const char *text, size_t length) {
    unsigned long long hash = 14695981039346656037ULL;
    size_t i;
    for (i = 0; i < length; ++i) hash = (hash ^ (unsigned char)text[i]) * 1099511628211ULL;
    return hash;
}

static int vbg__parse_int(const char *text) {
    long long value = strtoll(text, NULL, 10);
    return value > VBG__MAX_ID    ? (int)VBG__MAX_ID
           : value < -VBG__MAX_ID ? (int)-VBG__MAX_ID
                                  : (int)value;
}

/* ---- the commands a game may give ---- */

/* A positive decimal ID of 32 bits, digits only, from BEGIN up to END. */
static int vbg__positive_id(const char *begin, const char *end) {
    long long value = 0;
    if (begin == end) return 0;
    for (; begin < end; ++begin) {
        if (*begin < '0' || *begin > '9') return 0;
        value = value * 10 + (*begin - '0');
        if (value > VBG__MAX_ID) return 0;
    }
    return value > 0;
}

static int vbg__blank(const char *text) { return text[strspn(text, " \t")] == '\0'; }

/* UTF-8 as the bridge reads it: no overlong form, no surrogate, nothing
   past U+10FFFF. */
static int vbg__valid_utf8(const unsigned char *s) {
    while (*s != 0) {
        unsigned c = *s++, n, low = 0x80, high = 0xBF;
        if (c < 0x80) continue;
        if (c >= 0xC2 && c <= 0xDF)
            n = 1;
        else if (c >= 0xE0 && c <= 0xEF)
            n = 2, low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
        else if (c >= 0xF0 && c <= 0xF4)
            n = 3, low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
        else
            return 0;
        if (*s < low || *s > high) return 0;
        for (++s; --n > 0; ++s)
            if (*s < 0x80 || *s > 0xBF) return 0;
    }
    return 1;
}

static int vbg__well_formed(const char *command) {
    size_t length;
    int i;
    if (command == NULL) return 0;
    length = strlen(command);
    if (length > VBG_MAX_COMMAND_BYTES || strpbrk(command, "\r\n") != NULL ||
        !vbg__valid_utf8((const unsigned char *)command))
        return 0;
    for (i = 0; i < VBG__COMMAND_COUNT; ++i) {
        const vbg_command *known = &vbg__command_table[i];
        size_t n = strlen(known->keyword);
        const char *arg = command + n + 1, *bar;
        if (strncmp(command, known->keyword, n) != 0) continue;
        if (command[n] == '\0') return known->argument == VBG_ARGUMENT_NONE;
        if (command[n] != ' ') continue;
        bar = strchr(arg, VBG_FIELD_SEPARATOR);
        switch (known->argument) {
            case VBG_ARGUMENT_CHANNEL_ID:
                return vbg__positive_id(arg, bar != NULL ? bar : arg + strlen(arg));
            case VBG_ARGUMENT_CHANNEL_NAME: return !vbg__blank(arg);
            case VBG_ARGUMENT_USER_ID_TEXT:
                return bar != NULL && vbg__positive_id(arg, bar) && !vbg__blank(bar + 1);
            default: return 0;
        }
    }
    return 0;
}

const vbg_command *vbg_commands(int *count) {
    *count = VBG__COMMAND_COUNT;
    return vbg__command_table;
}

const char *const *vbg_state_keys(void) { return vbg__state_key_names; }

/* ---- events for vbg_update ---- */

/* TEXT into the gathered batch's text; its offset there. */
static size_t vbg__keep_text(struct vbg__kit *k, const char *text) {
    size_t n = strlen(text), at = k->gathered_length;
    size_t wanted = k->gathered_text_size > 0 ? k->gathered_text_size : 256;
    if (at + n + 1 > k->gathered_text_size) {
        char *grown;
        while (wanted < at + n + 1) wanted *= 2;
        grown = (char *)realloc(k->gathered_text, wanted);
        if (grown == NULL) return (size_t)-1;
        k->gathered_text = grown;
        k->gathered_text_size = wanted;
    }
    memcpy(k->gathered_text + at, text, n + 1);
    k->gathered_length += n + 1;
    return at;
}

/* A new event of KIND at the end of the gathered batch, or NULL. Events
   are gathered only for a game that pumps, so that one that never calls
   vbg_update does not pile them up. */
static vbg__queued_event *vbg__add_event(struct vbg__kit *k, int kind) {
    vbg__queued_event *e;
    if (!k->events_wanted ||
        !vbg__room(&k->gathered, &k->gathered_size, k->gathered_count + 1, sizeof *e))
        return NULL;
    e = &k->gathered[k->gathered_count++];
    memset(e, 0, sizeof *e);
    e->event.kind = kind;
    e->status = e->sender = e->text = e->reason = (size_t)-1;
    return e;
}

static void vbg__tell_status(struct vbg__kit *k, const char *status) {
    vbg__queued_event *e;
    if (strcmp(status, k->told_status) == 0) return;
    snprintf(k->told_status, sizeof k->told_status, "%s", status);
    if ((e = vbg__add_event(k, VBG_EVENT_STATUS)) != NULL) e->status = vbg__keep_text(k, status);
}

static void vbg__tell_outcome(struct vbg__kit *k, vbg_request *r) {
    vbg__queued_event *e;
    if (r->internal_ || r->released_) return;
    if ((e = vbg__add_event(k, VBG_EVENT_OUTCOME)) != NULL) e->event.request = r;
}

/* The gathered batch becomes the handed one, its offsets pointers. */
static int vbg__hand_out(struct vbg__kit *k, const vbg_event **events) {
    int i, n = k->gathered_count;
    free(k->handed_text);
    k->handed_text = k->gathered_text;
    k->gathered_text = NULL;
    k->gathered_length = k->gathered_text_size = 0;
    if (!vbg__room(&k->handed, &k->handed_size, n + 1, sizeof(vbg_event))) n = 0;
    for (i = 0; i < n; ++i) {
        const vbg__queued_event *q = &k->gathered[i];
        vbg_event *e = &k->handed[i];
        *e = q->event;
#define VBG__TEXT(offset) ((offset) == (size_t)-1 ? "" : k->handed_text + (offset))
        e->status = VBG__TEXT(q->status);
        e->message.sender = VBG__TEXT(q->sender);
        e->message.text = VBG__TEXT(q->text);
        e->text = VBG__TEXT(q->text);
        e->reason = VBG__TEXT(q->reason);
#undef VBG__TEXT
    }
    k->gathered_count = 0;
    *events = k->handed;
    return n;
}

/* ---- requests ---- */

static vbg_request *vbg__new_request(struct vbg__kit *k, const char *text, int internal) {
    size_t n = strlen(text);
    vbg_request *r = (vbg_request *)calloc(1, sizeof *r + n + 1);
    if (r == NULL) return NULL;
    memcpy((char *)(r + 1), text, n + 1);
    r->text = (const char *)(r + 1);
    r->server_text = "";
    r->internal_ = internal;
    r->next_ = k->requests;
    if (k->requests != NULL) k->requests->previous_ = r;
    k->requests = r;
    return r;
}

static void vbg__free_request(struct vbg__kit *k, vbg_request *r) {
    int i;
    if (k->rejoin == r) k->rejoin = NULL;
    for (i = 0; i < k->pair_count; ++i)
        if (k->pairs[i].request == r) k->pairs[i--] = k->pairs[--k->pair_count];
    if (r->previous_ != NULL) r->previous_->next_ = r->next_;
    if (r->next_ != NULL) r->next_->previous_ = r->previous_;
    if (k->requests == r) k->requests = r->next_;
    if (r->server_text[0] != '\0') free((void *)r->server_text);
    free(r);
}

/* R's outcome: "done" or a reason, with the server's TEXT. A join that
   ended done is the one a restart sends again, until a leave is done. */
static void vbg__answer(struct vbg__kit *k, vbg_request *r, const char *outcome, const char *text) {
    char *kept = text != NULL && text[0] != '\0' ? vbg__copy(text, strlen(text)) : NULL;
    if (r->server_text[0] != '\0') free((void *)r->server_text);
    r->server_text = kept != NULL ? kept : "";
    snprintf(r->reason_, sizeof r->reason_, "%s", outcome);
    r->outcome = r->reason_;
    r->stage_ = VBG__ANSWERED;
    if (k->rejoin == r) k->rejoin = NULL;
    if (strcmp(outcome, VBG_OUTCOME_DONE) == 0) {
        if (strncmp(r->text, "joinid ", 7) == 0 || strncmp(r->text, "joinpath ", 9) == 0) {
            free(k->last_join);
            k->last_join = vbg__copy(r->text, strlen(r->text));
        } else if (strcmp(r->text, "leave") == 0) {
            free(k->last_join);
            k->last_join = NULL;
        }
    }
    vbg__tell_outcome(k, r);
    if (r->released_) vbg__free_request(k, r);
}

/* Nothing queued, written or taken will reach a live session. */
static void vbg__fail_pending(struct vbg__kit *k, int queued_too) {
    int i;
    vbg__pair *pairs = k->pairs;
    int pair_count = k->pair_count;
    k->pairs = NULL;
    k->pair_count = k->pair_size = 0;
    for (i = 0; i < pair_count; ++i)
        if (pairs[i].request->stage_ == VBG__TAKEN)
            vbg__answer(k, pairs[i].request, VBG_OUTCOME_SESSION_OVER, "");
    free(pairs);
    for (i = 0; i < k->written_count; ++i)
        vbg__answer(k, k->written[i], VBG_OUTCOME_SESSION_OVER, "");
    k->written_count = 0;
    for (i = 0; queued_too && i < k->queue_count; ++i)
        vbg__answer(k, k->queue[i], VBG_OUTCOME_SESSION_OVER, "");
    if (queued_too) k->queue_count = 0;
}

static int vbg__enqueue(struct vbg__kit *k, vbg_request *r, int first) {
    if (!vbg__room(&k->queue, &k->queue_size, k->queue_count + 1, sizeof *k->queue)) return 0;
    if (first) memmove(k->queue + 1, k->queue, sizeof *k->queue * (size_t)k->queue_count);
    k->queue[first ? 0 : k->queue_count] = r;
    ++k->queue_count;
    return 1;
}

void vbg_release(vbg_bridge *bridge, vbg_request *r) {
    struct vbg__kit *k = bridge->kit;
    int i;
    if (r == NULL) return;
    /* An event not yet handed out would point at it. */
    for (i = 0; k != NULL && i < k->gathered_count; ++i)
        if (k->gathered[i].event.request == r)
            memmove(&k->gathered[i], &k->gathered[i + 1],
                    sizeof *k->gathered * (size_t)(k->gathered_count-- - i - 1)),
                --i;
    r->released_ = 1;
    if (r->stage_ == VBG__ANSWERED && k != NULL) vbg__free_request(k, r);
}

/* ---- this run's state ---- */

static int vbg__lock_names_our_process(const struct vbg__kit *k) {
    char *text;
    size_t length, digits = 0;
    int ours;
    if (vbg__read_file(k->paths[VBG__LOCK], NULL, &text, &length) != VBG__OK) return 0;
    while (digits < length && text[digits] >= '0' && text[digits] <= '9') ++digits;
    ours = digits > 0 && digits < 19 && (digits == length || strcmp(text + digits, "\n") == 0) &&
           strtoll(text, NULL, 10) == k->process.pid;
    free(text);
    return ours;
}

/* Whether the file at PATH must be read again: it changed, or it changed
   so recently that a change since could share its stamp. */
static int vbg__changed(vbg__watch *w, const char *path, vbg__stamp *now) {
    int got = vbg__stat(path, now);
    if (got == VBG__FAILED) return 0;
    if (got == VBG__ABSENT) memset(now, 0, sizeof *now);
    return !w->seen || w->racy || w->dirty || now->exists != w->stamp.exists ||
           now->size != w->stamp.size || now->id != w->stamp.id ||
           now->modified_ns != w->stamp.modified_ns || now->changed_ns != w->stamp.changed_ns;
}

static void vbg__seen(vbg__watch *w, const vbg__stamp *stamp) {
    long long age = vbg__file_clock_ns() - stamp->modified_ns;
    w->stamp = *stamp;
    w->seen = 1;
    w->dirty = 0;
    w->racy = stamp->exists && age < VBG__RACY_NS;
}

/* Reads state.txt when it changed; trusts it once the lock names our
   process. VBG_STATE_... */
static int vbg__refresh_state(struct vbg__kit *k) {
    const char *values[VBG_STATE_KEY_COUNT] = {NULL};
    char *text, *line, *end, *next;
    size_t length;
    unsigned long long hash;
    vbg__stamp stamp;
    int found = 0, i;
    if (!k->run || k->state_cleared) return VBG_STATE_NONE;
    if (k->trusted && !vbg__changed(&k->state_watch, k->paths[VBG__STATE], &stamp))
        return VBG_STATE_READ;
    if (!k->trusted && vbg__stat(k->paths[VBG__STATE], &stamp) != VBG__OK) return VBG_STATE_NONE;
    if (vbg__read_file(k->paths[VBG__STATE], NULL, &text, &length) != VBG__OK)
        return k->trusted ? VBG_STATE_KEPT : VBG_STATE_NONE;
    hash = vbg__hash(text, length);
    if (k->state_text != NULL && hash == k->state_hash) {
        free(text);
        vbg__seen(&k->state_watch, &stamp);
        return VBG_STATE_READ;
    }
    for (line = text; *line != '\0'; line = next) {
        char *bar;
        end = line + strcspn(line, "\n");
        next = end + (*end != '\0');
        *end = '\0';
        if ((bar = strchr(line, VBG_FIELD_SEPARATOR)) == NULL) continue;
        *bar = '\0';
        for (i = 0; i < VBG_STATE_KEY_COUNT; ++i)
            if (values[i] == NULL && strcmp(line, vbg__state_key_names[i]) == 0)
                values[i] = bar + 1, ++found;
    }
    if (found == 0 || !(k->trusted || vbg__lock_names_our_process(k))) {
        free(text);
        return k->trusted ? VBG_STATE_KEPT : VBG_STATE_NONE;
    }
    k->trusted = 1;
    vbg__seen(&k->state_watch, &stamp);
    free(k->state_text);
    k->state_text = text;
    k->state_hash = hash;
    memcpy((void *)k->state_values, values, sizeof values);
    return VBG_STATE_READ;
}

static const char *vbg__value(const struct vbg__kit *k, int key) {
    if (k == NULL || !k->trusted || k->state_cleared || k->state_values[key] == NULL) return "";
    return k->state_values[key];
}

/* ---- lists ---- */

/* Reads L's file again when it changed; 1 when what it holds changed, the
   new text in L (the old items still there, for the caller to free). */
static int vbg__reread(struct vbg__kit *k, vbg__list *l, int file, char **old_text) {
    vbg__stamp stamp;
    char *text = NULL;
    size_t length = 0;
    int got;
    *old_text = NULL;
    if (!k->trusted || k->state_cleared || !vbg__changed(&l->watch, k->paths[file], &stamp))
        return 0;
    got = vbg__read_file(k->paths[file], NULL, &text, &length);
    if (got == VBG__FAILED) return 0; /* the last good list stays */
    vbg__seen(&l->watch, &stamp);
    if (got == VBG__ABSENT) text = NULL, length = 0;
    if (length == l->length && (length == 0 || vbg__hash(text, length) == l->hash)) {
        free(text);
        return 0;
    }
    *old_text = l->text;
    l->text = text;
    l->length = length;
    l->hash = vbg__hash(text, length);
    return 1;
}

/* The next line of a list's text, cut at its line feed; NULL at the end. */
static char *vbg__cut_line(char **cursor, const char *end) {
    char *line = *cursor, *feed;
    if (line == NULL || line >= end) return NULL;
    feed = (char *)memchr(line, '\n', (size_t)(end - line));
    if (feed == NULL) feed = (char *)end;
    *feed = '\0';
    *cursor = feed + 1;
    return line;
}

static size_t vbg__line_count(const char *text, size_t length) {
    size_t n = 1, i;
    for (i = 0; i < length; ++i) n += text[i] == '\n';
    return n;
}

static int vbg__by_user(const void *a, const void *b) {
    int x = ((const vbg__member *)a)->user_id, y = ((const vbg__member *)b)->user_id;
    return (x > y) - (x < y);
}

/* Each user's channel from the members last read. */
static void vbg__apply_members(struct vbg__kit *k) {
    vbg_user *users = (vbg_user *)k->users.items;
    int i;
    for (i = 0; i < k->users.count; ++i) {
        vbg__member key, *found;
        key.user_id = users[i].id;
        found = k->members.count == 0
                    ? NULL
                    : (vbg__member *)bsearch(&key, k->members.items, (size_t)k->members.count,
                                             sizeof key, vbg__by_user);
        users[i].channel_id = found != NULL ? found->channel_id : 0;
    }
}

/* L's file cut into items of ITEM bytes, one a line that PARSE makes one
   of, when what it holds changed; 1 then. The old text and items are freed
   only now, at a call that ends their life. */
static int vbg__refresh_list(struct vbg__kit *k, vbg__list *l, int file, size_t item,
                             int (*parse)(char *line, void *item)) {
    char *old, *cursor, *line, *end, *items;
    int n = 0;
    if (!vbg__reread(k, l, file, &old)) return 0;
    free(old);
    free(l->items);
    items = (char *)malloc(item * vbg__line_count(l->text, l->length));
    cursor = l->text;
    end = cursor + l->length;
    while (items != NULL && (line = vbg__cut_line(&cursor, end)) != NULL)
        n += *line != '\0' && parse(line, items + item * (size_t)n);
    l->items = items;
    l->count = items != NULL ? n : 0;
    return 1;
}

/* ID|NAME */
static int vbg__parse_user(char *line, void *item) {
    vbg_user *user = (vbg_user *)item;
    char *bar = strchr(line, VBG_FIELD_SEPARATOR);
    if (bar != NULL) *bar = '\0';
    user->id = vbg__parse_int(line);
    user->name = bar != NULL ? bar + 1 : "";
    user->channel_id = 0;
    return 1;
}

/* ID|NAME|0|PARENT: the name is what lies between the first bar and the
   last two, bars included. */
static int vbg__parse_channel(char *line, void *item) {
    vbg_channel *channel = (vbg_channel *)item;
    char *first = strchr(line, VBG_FIELD_SEPARATOR), *last = strrchr(line, VBG_FIELD_SEPARATOR),
         *middle = last;
    while (middle != NULL && middle > first && *--middle != VBG_FIELD_SEPARATOR) continue;
    channel->id = vbg__parse_int(line);
    channel->name = first != NULL ? first + 1 : "";
    channel->parent_id = 0;
    if (first != NULL && middle != NULL && middle > first) {
        *middle = '\0';
        channel->parent_id = vbg__parse_int(last + 1);
    }
    return 1;
}

/* USER ID|CHANNEL ID */
static int vbg__parse_member(char *line, void *item) {
    vbg__member *member = (vbg__member *)item;
    char *bar = strchr(line, VBG_FIELD_SEPARATOR);
    if (bar == NULL) return 0;
    member->user_id = vbg__parse_int(line);
    member->channel_id = vbg__parse_int(bar + 1);
    return 1;
}

static int vbg__refresh_users(struct vbg__kit *k) {
    if (!vbg__refresh_list(k, &k->users, VBG__USERS, sizeof(vbg_user), vbg__parse_user)) return 0;
    vbg__apply_members(k);
    return 1;
}

static int vbg__refresh_channels(struct vbg__kit *k) {
    return vbg__refresh_list(k, &k->channels, VBG__CHANNELS, sizeof(vbg_channel),
                             vbg__parse_channel);
}

static int vbg__refresh_members(struct vbg__kit *k) {
    if (!vbg__refresh_list(k, &k->members, VBG__MEMBERS, sizeof(vbg__member), vbg__parse_member))
        return 0;
    if (k->members.count > 1)
        qsort(k->members.items, (size_t)k->members.count, sizeof(vbg__member), vbg__by_user);
    vbg__apply_members(k);
    return 1;
}

/* The lists as empty as before a start, their files an ended run's: told
   at once (vbg_users and vbg_channels give none meanwhile), freed when the
   next run starts. */
static void vbg__tell_lists_gone(struct vbg__kit *k) {
    if (k->users.count > 0) vbg__add_event(k, VBG_EVENT_USERS);
    if (k->channels.count > 0) vbg__add_event(k, VBG_EVENT_CHANNELS);
    if (k->members.count > 0) vbg__add_event(k, VBG_EVENT_MEMBERS);
}

static void vbg__forget_lists(struct vbg__kit *k) {
    vbg__list *lists[3];
    int i;
    lists[0] = &k->users, lists[1] = &k->channels, lists[2] = &k->members;
    for (i = 0; i < 3; ++i) {
        free(lists[i]->text);
        free(lists[i]->items);
        memset(lists[i], 0, sizeof *lists[i]);
    }
}

/* ---- the session ---- */

static int vbg__one_of(const char *word, const char *const *words) {
    for (; *words != NULL; ++words)
        if (strcmp(word, *words) == 0) return 1;
    return 0;
}

/* A lost link or a failed connection may come back; a bridge that ended by
   itself may start again. The rest would meet the same answer again, but
   while retrying any start that fails is one more attempt. */
static int vbg__worth_restarting(const struct vbg__kit *k, const char *reason) {
    static const char *const retried[] = {VBG_END_CONNECTION_FAILED, VBG_END_LINK_LOST,
                                          VBG_END_BRIDGE_ENDED, NULL};
    static const char *const final[] = {VBG_END_LOGIN_REFUSED, VBG_END_LOGGED_OUT, VBG_END_REMOVED,
                                        VBG_END_STOPPED, NULL};
    return k->restart &&
           (vbg__one_of(reason, retried) || (k->retrying && !vbg__one_of(reason, final)));
}

/* The next attempt's delay, told; the old bridge asked to end, and this
   run's state and lists no longer shown. */
static void vbg__schedule_restart(struct vbg__kit *k) {
    long long now = vbg__now_ms();
    vbg__queued_event *e;
    int delay;
    if (k->process.running) vbg__terminate(&k->process);
    k->state_cleared = 1;
    vbg__tell_status(k, "");
    vbg__tell_lists_gone(k);
    if (k->up_since != 0 && now - k->up_since >= VBG__STEADY_SESSION_MS) k->attempt = 0;
    k->up_since = 0;
    ++k->attempt;
    delay = k->attempt > 5 ? VBG__LONGEST_DELAY_MS : VBG__FIRST_DELAY_MS << (k->attempt - 1);
    k->retrying = k->hold = 1;
    k->restart_due = now + delay;
    if ((e = vbg__add_event(k, VBG_EVENT_RESTARTING)) != NULL)
        e->event.attempt = k->attempt, e->event.delay_ms = delay;
}

/* The session is over, once: told, every command that cannot reach it
   answered, and a restart scheduled where one is due. */
static void vbg__end_session(struct vbg__kit *k, const char *reason, const char *text,
                             int may_restart) {
    vbg__queued_event *e;
    int restart;
    if (k->over) return;
    k->over = 1;
    snprintf(k->end_reason, sizeof k->end_reason, "%s", reason);
    if ((e = vbg__add_event(k, VBG_EVENT_SESSION_OVER)) != NULL) {
        e->reason = vbg__keep_text(k, reason);
        e->text = vbg__keep_text(k, text);
    }
    restart = may_restart && vbg__worth_restarting(k, reason);
    vbg__fail_pending(k, !restart);
    if (restart) {
        vbg__schedule_restart(k);
    } else {
        k->retrying = k->hold = 0;
    }
}

static vbg__pair *vbg__find_pair(struct vbg__kit *k, long long seq) {
    int i;
    for (i = k->pair_count - 1; i >= 0; --i)
        if (k->pairs[i].seq == seq) return &k->pairs[i];
    return NULL;
}

/* An outcome line for the command of line SEQ. A private message stays
   paired after done: the server may still refuse it. */
static void vbg__take_outcome(struct vbg__kit *k, long long seq, const char *outcome,
                              const char *text) {
    vbg__pair *pair = vbg__find_pair(k, seq);
    vbg_request *r;
    int keep;
    if (pair == NULL) return;
    r = pair->request;
    keep = strcmp(outcome, VBG_OUTCOME_DONE) == 0 && strncmp(r->text, "pm ", 3) == 0 &&
           k->pair_count <= VBG__KEPT_PAIRS;
    if (!keep) *pair = k->pairs[--k->pair_count];
    vbg__answer(k, r, outcome, text);
}

/* One line of events.txt: SEQ|KIND|FIELDS. */
static void vbg__take_event(struct vbg__kit *k, char *line) {
    long long seq = strtoll(line, NULL, 10);
    char *kind = strchr(line, VBG_FIELD_SEPARATOR), *rest, *bar;
    if (kind == NULL || seq <= k->last_seq) return;
    k->last_seq = seq;
    ++kind;
    rest = kind + strcspn(kind, "|");
    if (*rest != '\0') *rest++ = '\0';
    if (strcmp(kind, VBG__EVENT_TAKEN) == 0) {
        vbg_request *r;
        /* A line of no command of ours: one found waiting at start-up. */
        if (k->written_count == 0 ||
            !vbg__room(&k->pairs, &k->pair_size, k->pair_count + 1, sizeof *k->pairs))
            return;
        r = k->written[0];
        memmove(k->written, k->written + 1, sizeof *k->written * (size_t)--k->written_count);
        r->stage_ = VBG__TAKEN;
        r->seq_ = seq;
        k->pairs[k->pair_count].seq = seq;
        k->pairs[k->pair_count++].request = r;
    } else if (strcmp(kind, VBG__EVENT_DONE) == 0) {
        vbg__take_outcome(k, strtoll(rest, NULL, 10), VBG_OUTCOME_DONE, "");
    } else if (strcmp(kind, VBG__EVENT_FAILED) == 0) {
        char *reason = strchr(rest, VBG_FIELD_SEPARATOR);
        const char *text = "";
        if (reason == NULL) return;
        *reason++ = '\0';
        if ((bar = strchr(reason, VBG_FIELD_SEPARATOR)) != NULL) *bar = '\0', text = bar + 1;
        vbg__take_outcome(k, strtoll(rest, NULL, 10), reason, text);
    } else if (strcmp(kind, VBG__EVENT_OVER) == 0) {
        const char *text = "";
        if ((bar = strchr(rest, VBG_FIELD_SEPARATOR)) != NULL) *bar = '\0', text = bar + 1;
        vbg__end_session(k, rest, text, 1);
    } else if (strcmp(kind, VBG__EVENT_LOGGED_IN) == 0) {
        k->up_since = vbg__now_ms();
    } else if (strcmp(kind, VBG__EVENT_USERS) == 0) {
        k->users.watch.dirty = 1;
    } else if (strcmp(kind, VBG__EVENT_CHANNELS) == 0) {
        k->channels.watch.dirty = 1;
    } else if (strcmp(kind, VBG__EVENT_MEMBERS) == 0) {
        k->members.watch.dirty = 1;
    }
}

/* The complete lines of FILE from *OFFSET, each taken by TAKE. */
static void vbg__read_lines(struct vbg__kit *k, int file, unsigned long long *offset,
                            void (*take)(struct vbg__kit *, char *)) {
    char *text, *line, *feed;
    size_t length, used;
    if (vbg__read_file(k->paths[file], offset, &text, &length) != VBG__OK) return;
    while (length > 0 && text[length - 1] != '\n') --length; /* still being written */
    for (line = text, used = 0; used < length; line = feed + 1) {
        feed = (char *)memchr(line, '\n', length - used);
        *feed = '\0';
        used += (size_t)(feed - line) + 1;
        take(k, line);
    }
    *offset += length;
    free(text);
}

/* What events.txt gained; when it was moved aside, the rest of the old
   file first. */
static void vbg__read_events(struct vbg__kit *k) {
    vbg__stamp stamp;
    if (!k->trusted || k->state_cleared || vbg__stat(k->paths[VBG__EVENTS], &stamp) != VBG__OK ||
        stamp.size == k->events_offset)
        return;
    if (stamp.size < k->events_offset) {
        vbg__read_lines(k, VBG__OLD_EVENTS, &k->events_offset, vbg__take_event);
        k->events_offset = 0;
    }
    vbg__read_lines(k, VBG__EVENTS, &k->events_offset, vbg__take_event);
}

static void vbg__take_message(struct vbg__kit *k, char *line) {
    vbg__queued_event *e = vbg__add_event(k, VBG_EVENT_MESSAGE);
    char *sender = strchr(line, VBG_FIELD_SEPARATOR), *text = NULL;
    if (e == NULL) return;
    e->event.message.from_id = vbg__parse_int(line);
    if (sender != NULL) {
        *sender++ = '\0';
        if ((text = strchr(sender, VBG_FIELD_SEPARATOR)) != NULL) *text++ = '\0';
        e->sender = vbg__keep_text(k, sender);
    }
    if (text != NULL) e->text = vbg__keep_text(k, text);
}

static void vbg__read_messages(struct vbg__kit *k) {
    vbg__stamp stamp;
    if (!k->trusted || k->state_cleared || k->pm_position < k->pm_length ||
        vbg__stat(k->paths[VBG__PM], &stamp) != VBG__OK || stamp.size == k->pm_offset)
        return;
    vbg__read_lines(k, VBG__PM, &k->pm_offset, vbg__take_message);
}

/* After the state was read: its status told, and once a restarted session
   is authorized, the last join again before the game's queued commands,
   which wait for its outcome so that they reach the channel joined again.
   A join by name waits for the channels too: the bridge looks it up there. */
static void vbg__follow_state(struct vbg__kit *k) {
    const char *status = vbg__value(k, VBG__KEY_STATUS);
    vbg_request *join;
    vbg__tell_status(k, status);
    if (strcmp(status, VBG_STATUS_AUTHORIZED) != 0 || k->over) return;
    if (k->up_since == 0) k->up_since = vbg__now_ms();
    if (!k->hold) return;
    if (k->last_join != NULL && strncmp(k->last_join, "joinpath ", 9) == 0 &&
        k->channels.count == 0) {
        if (vbg__refresh_channels(k)) vbg__add_event(k, VBG_EVENT_CHANNELS);
        if (k->channels.count == 0) return;
    }
    join = k->last_join != NULL ? vbg__new_request(k, k->last_join, 0) : NULL;
    if (join != NULL) join->resent = 1;
    if (join != NULL && !vbg__enqueue(k, join, 1)) vbg__free_request(k, join), join = NULL;
    k->rejoin = join;
    k->hold = k->retrying = 0;
}

/* The next queued command into cmd.txt once it is free. The bridge puts
   a command's taken line in events.txt before it frees the file, so every
   line read after the file was seen free belongs to a command written
   before: what is written now is paired with the next taken line. */
static void vbg__write_next(struct vbg__kit *k) {
    vbg__stamp stamp;
    vbg_request *r;
    int got;
    if (k->queue_count == 0 || k->hold || !k->trusted || k->over || !k->process.running ||
        (k->rejoin != NULL && k->queue[0] != k->rejoin))
        return;
    got = vbg__stat(k->paths[VBG__COMMAND], &stamp);
    if (got == VBG__FAILED || (got == VBG__OK && stamp.size > 0)) return;
    vbg__read_events(k);
    if (k->queue_count == 0 || k->over ||
        !vbg__room(&k->written, &k->written_size, k->written_count + 1, sizeof *k->written))
        return;
    r = k->queue[0];
    if (!vbg__write_file(k->paths[VBG__COMMAND], r->text, strlen(r->text))) return;
    memmove(k->queue, k->queue + 1, sizeof *k->queue * (size_t)--k->queue_count);
    r->stage_ = VBG__WRITTEN;
    k->written[k->written_count++] = r;
}

/* ---- starting and ending ---- */

/* A new run of the bridge in the game folder: nothing of the last one
   shown, its state file and any command of ours it left gone. */
static int vbg__start_run(struct vbg__kit *k, char *error, size_t error_size) {
    free(k->state_text);
    k->state_text = NULL;
    memset((void *)k->state_values, 0, sizeof k->state_values);
    memset(&k->state_watch, 0, sizeof k->state_watch);
    vbg__forget_lists(k);
    k->state_cleared = k->trusted = k->over = 0;
    k->pm_offset = k->events_offset = 0;
    k->last_seq = 0;
    k->up_since = 0;
    vbg__remove_file(k->paths[VBG__STATE]);
    if (k->retrying) vbg__remove_file(k->paths[VBG__COMMAND]);
    memset(&k->process, 0, sizeof k->process);
    k->run = vbg__spawn(k, error, error_size);
    if (!k->run) k->over = 1;
    return k->run;
}

/* A due restart, once the old bridge has gone: at most one process start. */
static void vbg__restart_if_due(struct vbg__kit *k) {
    char error[VBG_ERROR_SIZE];
    long long now;
    if (k->restart_due == 0 || (now = vbg__now_ms()) < k->restart_due) return;
    if (k->process.running && !vbg__poll_end(&k->process)) {
        if (now - k->process.terminated_at >= VBG__KILL_AFTER_MS) vbg__kill(&k->process);
        return;
    }
    k->restart_due = 0;
    if (!vbg__start_run(k, error, sizeof error)) vbg__schedule_restart(k);
}

/* Everything but a restart, which only vbg_update starts; WHOLE: the
   lists and messages too. */
static void vbg__pump(struct vbg__kit *k, int whole) {
    if (k->process.running) vbg__poll_end(&k->process);
    if (k->run && !k->state_cleared) {
        vbg__refresh_state(k);
        vbg__follow_state(k);
        vbg__read_events(k);
    }
    /* Read after the end was seen, so that the bridge's own reason wins. */
    if (k->run && !k->process.running && !k->over)
        vbg__end_session(k, vbg__exit_reason(k->process.exit_code), "", 1);
    vbg__write_next(k);
    if (whole && k->run && !k->state_cleared) {
        if (vbg__refresh_users(k)) vbg__add_event(k, VBG_EVENT_USERS);
        if (vbg__refresh_channels(k)) vbg__add_event(k, VBG_EVENT_CHANNELS);
        if (vbg__refresh_members(k)) vbg__add_event(k, VBG_EVENT_MEMBERS);
        vbg__read_messages(k);
    }
}

static char *vbg__copy_string(const char *text) {
    return text != NULL ? vbg__copy(text, strlen(text)) : NULL;
}

static void vbg__forget_start(struct vbg__kit *k) {
    int i;
    for (i = 0; i < VBG__FILE_COUNT; ++i) free(k->paths[i]), k->paths[i] = NULL;
    for (i = 0; i < k->arg_count; ++i) free(k->args[i]);
    free((void *)k->args);
    free(k->game_dir);
    free(k->program);
    free(k->password);
    free(k->last_join);
    k->args = NULL;
    k->game_dir = k->program = k->password = k->last_join = NULL;
    k->arg_count = k->has_password = 0;
}

/* What the start is given: the bridge's arguments, with the user name the
   sixth. */
static int vbg__keep_start(struct vbg__kit *k, const char *game_dir, const char *program,
                           const char *const *args, int arg_count, const vbg_options *options) {
    static const char *const defaults[5] = {VBG_DEFAULT_HOST, VBG_DEFAULT_PORT, VBG_DEFAULT_PORT,
                                            VBG_DEFAULT_ENCRYPTED, VBG_DEFAULT_NICKNAME};
    const char *username =
        options != NULL && options->username != NULL && options->username[0] != '\0'
            ? options->username
            : NULL;
    int count = username != NULL ? (arg_count > 6 ? arg_count : 6) : arg_count, i, ok = 1;
    char *data = vbg__join(game_dir, VBG_DATA_DIRECTORY);
    k->args = (char **)calloc((size_t)count + 1, sizeof *k->args);
    k->arg_count = k->args != NULL ? count : 0;
    for (i = 0; i < k->arg_count; ++i) {
        const char *arg = username != NULL && i == 5 ? username
                          : i < arg_count            ? args[i]
                                                     : defaults[i];
        ok = ok && (k->args[i] = vbg__copy_string(arg)) != NULL;
    }
    for (i = 0; i < VBG__FILE_COUNT; ++i)
        ok = ok && data != NULL && (k->paths[i] = vbg__join(data, vbg__file_names[i])) != NULL;
    free(data);
    k->game_dir = vbg__copy_string(game_dir);
    k->program = vbg__copy_string(program);
    k->has_password = options != NULL && options->password != NULL;
    k->password = vbg__copy_string(k->has_password ? options->password : NULL);
    k->restart = options != NULL && options->restart;
    return ok && k->args != NULL && k->game_dir != NULL && k->program != NULL &&
           (!k->has_password || k->password != NULL);
}

static struct vbg__kit *vbg__kit_of(vbg_bridge *bridge) {
    if (bridge->kit == NULL) bridge->kit = (struct vbg__kit *)calloc(1, sizeof *bridge->kit);
    return bridge->kit;
}

int vbg_start_with(vbg_bridge *b, const char *game_dir, const char *program,
                   const char *const *args, int arg_count, const vbg_options *options) {
    struct vbg__kit *k;
    vbg_stop(b, VBG_STOP_TIMEOUT_MS);
    b->error[0] = '\0';
    if ((k = vbg__kit_of(b)) == NULL) {
        snprintf(b->error, sizeof b->error, "out of memory");
        return 0;
    }
    vbg__forget_start(k);
    free(k->pm_text);
    k->pm_text = NULL;
    k->pm_length = k->pm_position = 0;
    free(k->handed_text);
    k->handed_text = NULL;
    k->end_reason[0] = '\0';
    k->attempt = k->retrying = k->hold = 0;
    k->restart_due = 0;
    if (options != NULL) k->events_wanted = 1;
    if (!vbg__keep_start(k, game_dir, program, args, arg_count, options)) {
        snprintf(b->error, sizeof b->error, "out of memory");
        return 0;
    }
    if (!vbg__make_dirs(game_dir)) {
        snprintf(b->error, sizeof b->error, "cannot make the folder %s", game_dir);
        return 0;
    }
    if (vbg__start_run(k, b->error, sizeof b->error)) return 1;
    /* Told as the other kits tell it: an event for a game that pumps. The
       failed run counts as over already; this is its one telling. */
    k->over = 0;
    vbg__end_session(k, VBG_END_NOT_STARTED, b->error, 0);
    return 0;
}

int vbg_start(vbg_bridge *b, const char *game_dir, const char *program, const char *const *args,
              int arg_count) {
    return vbg_start_with(b, game_dir, program, args, arg_count, NULL);
}

void vbg_stop(vbg_bridge *b, int timeout_ms) {
    struct vbg__kit *k = b->kit;
    if (k == NULL) return;
    k->restart_due = 0;
    k->retrying = k->hold = 0;
    if (k->process.running) vbg__end(&k->process, timeout_ms);
    if (k->run && !k->state_cleared) vbg__read_events(k); /* the outcomes that came */
    vbg__end_session(k, VBG_END_STOPPED, "", 0);
    vbg__fail_pending(k, 1);
}

void vbg_free(vbg_bridge *b) {
    struct vbg__kit *k = b->kit;
    if (k != NULL) {
        vbg_stop(b, VBG_STOP_TIMEOUT_MS);
        while (k->requests != NULL) vbg__free_request(k, k->requests);
        vbg__forget_start(k);
        vbg__forget_lists(k);
        free(k->state_text);
        free(k->pm_text);
        free((void *)k->queue);
        free((void *)k->written);
        free(k->pairs);
        free(k->gathered);
        free(k->gathered_text);
        free(k->handed);
        free(k->handed_text);
        free(k);
    }
    memset((void *)b, 0, sizeof *b);
}

/* ---- the pump and the calls of a game loop ---- */

int vbg_update(vbg_bridge *b, const vbg_event **events) {
    struct vbg__kit *k = b->kit;
    if (k == NULL) {
        *events = NULL;
        return 0;
    }
    k->events_wanted = k->pumped = 1;
    vbg__pump(k, 1);
    vbg__restart_if_due(k);
    return vbg__hand_out(k, events);
}

vbg_request *vbg_post(vbg_bridge *b, const char *command) {
    struct vbg__kit *k;
    vbg_request *r;
    if (!vbg__well_formed(command) || (k = vbg__kit_of(b)) == NULL) return NULL;
    k->events_wanted = 1;
    if ((r = vbg__new_request(k, command, 0)) == NULL) return NULL;
    if (!k->run || (k->over && k->restart_due == 0) || !vbg__enqueue(k, r, 0)) {
        vbg__answer(k, r, VBG_OUTCOME_SESSION_OVER, "");
        return r;
    }
    if (k->queue_count == 1) vbg__write_next(k);
    return r;
}

const char *vbg_end_reason(const vbg_bridge *b) { return b->kit != NULL ? b->kit->end_reason : ""; }

/* ---- the calls of 1.0.0 ---- */

int vbg_read_state(vbg_bridge *b) {
    struct vbg__kit *k = b->kit;
    int got;
    if (k == NULL) return VBG_STATE_NONE;
    got = vbg__refresh_state(k);
    vbg__follow_state(k);
    return got;
}

const char *vbg_state_value(const vbg_bridge *b, const char *key) {
    int i;
    for (i = 0; i < VBG_STATE_KEY_COUNT; ++i)
        if (strcmp(key, vbg__state_key_names[i]) == 0) return vbg__value(b->kit, i);
    return "";
}

/* A game that pumps reads what its last vbg_update read: the values it
   holds then live until its next vbg_update, whatever it asks between. */
static int vbg__pumped(const struct vbg__kit *k) { return k != NULL && k->pumped; }

const char *vbg_status(vbg_bridge *b) {
    if (!vbg__pumped(b->kit)) vbg_read_state(b);
    return vbg__value(b->kit, VBG__KEY_STATUS);
}

int vbg_wait_status(vbg_bridge *b, const char *word, int timeout_ms) {
    struct vbg__kit *k = b->kit;
    long long deadline = vbg__now_ms() + timeout_ms;
    if (k == NULL) return 0;
    for (;;) {
        vbg__pump(k, 0);
        if (strcmp(vbg__value(k, VBG__KEY_STATUS), word) == 0) return 1;
        if (!k->run || k->over || vbg__now_ms() >= deadline) return 0;
        vbg__sleep_ms(VBG__POLL_MS);
    }
}

int vbg_session_over(vbg_bridge *b) {
    struct vbg__kit *k = b->kit;
    if (k == NULL || !k->run) return 1;
    if (!vbg__pumped(k)) vbg__pump(k, 0);
    return !k->process.running || (strcmp(vbg__value(k, VBG__KEY_STATUS), VBG_STATUS_ERROR) == 0 &&
                                   strcmp(vbg__value(k, VBG__KEY_MY_USER_ID), "0") == 0);
}

int vbg_exit_code(vbg_bridge *b, long long *code) {
    struct vbg__kit *k = b->kit;
    if (k == NULL || !k->run) return 0;
    if (k->process.running && !vbg__poll_end(&k->process)) return 0;
    *code = k->process.exit_code;
    return 1;
}

int vbg_send(vbg_bridge *b, const char *command, int timeout_ms) {
    struct vbg__kit *k = b->kit;
    long long deadline = vbg__now_ms() + timeout_ms;
    vbg_request *r;
    int result, i;
    if (!vbg__well_formed(command)) return VBG_SEND_REFUSED;
    if (k == NULL || !k->run || (k->over && k->restart_due == 0) ||
        (r = vbg__new_request(k, command, 1)) == NULL)
        return VBG_SEND_BUSY;
    if (!vbg__enqueue(k, r, 0)) {
        vbg__free_request(k, r);
        return VBG_SEND_BUSY;
    }
    for (;;) {
        vbg__pump(k, 0);
        if (r->stage_ >= VBG__TAKEN) {
            result = r->seq_ != 0 ? VBG_SEND_TAKEN : VBG_SEND_BUSY;
            break;
        }
        if (vbg__now_ms() >= deadline) {
            result = r->stage_ == VBG__WRITTEN ? VBG_SEND_WAITING : VBG_SEND_BUSY;
            for (i = 0; i < k->queue_count; ++i)
                if (k->queue[i] == r)
                    memmove(k->queue + i, k->queue + i + 1,
                            sizeof *k->queue * (size_t)(--k->queue_count - i)),
                        r->stage_ = VBG__ANSWERED;
            break;
        }
        vbg__sleep_ms(VBG__SEND_POLL_MS);
    }
    vbg_release(b, r);
    return result;
}

/* Reads what pm_in.txt holds past the offset, complete lines only. */
static int vbg__read_new_messages(struct vbg__kit *k) {
    unsigned long long offset = k->pm_offset;
    char *text;
    size_t length;
    free(k->pm_text);
    k->pm_text = NULL;
    k->pm_length = k->pm_position = 0;
    if (!k->run || k->state_cleared) return 0;
    if (!k->trusted) vbg__refresh_state(k);
    if (!k->trusted || vbg__read_file(k->paths[VBG__PM], &offset, &text, &length) != VBG__OK)
        return 0;
    while (length > 0 && text[length - 1] != '\n') --length; /* still being written */
    k->pm_offset = offset + length;
    k->pm_text = text;
    k->pm_length = length;
    return length > 0;
}

int vbg_next_message(vbg_bridge *b, vbg_message *message) {
    struct vbg__kit *k = b->kit;
    char *line, *end, *bar;
    if (k == NULL || (k->pm_position >= k->pm_length && !vbg__read_new_messages(k))) return 0;
    line = k->pm_text + k->pm_position;
    end = (char *)memchr(line, '\n', k->pm_length - k->pm_position);
    *end = '\0';
    k->pm_position = (size_t)(end - k->pm_text) + 1;
    message->from_id = vbg__parse_int(line);
    message->sender = message->text = "";
    if ((bar = strchr(line, VBG_FIELD_SEPARATOR)) != NULL) {
        *bar = '\0';
        message->sender = bar + 1;
        if ((bar = strchr(bar + 1, VBG_FIELD_SEPARATOR)) != NULL)
            *bar = '\0', message->text = bar + 1;
    }
    return 1;
}

const vbg_user *vbg_users(vbg_bridge *b, int *count) {
    struct vbg__kit *k = b->kit;
    *count = 0;
    if (k == NULL) return NULL;
    if (k->run && !k->state_cleared && vbg__refresh_users(k)) vbg__add_event(k, VBG_EVENT_USERS);
    if (k->run && !k->state_cleared && vbg__refresh_members(k))
        vbg__add_event(k, VBG_EVENT_MEMBERS);
    if (!k->state_cleared) *count = k->users.count;
    return (const vbg_user *)k->users.items;
}

const vbg_channel *vbg_channels(vbg_bridge *b, int *count) {
    struct vbg__kit *k = b->kit;
    *count = 0;
    if (k == NULL) return NULL;
    if (k->run && !k->state_cleared && vbg__refresh_channels(k))
        vbg__add_event(k, VBG_EVENT_CHANNELS);
    if (!k->state_cleared) *count = k->channels.count;
    return (const vbg_channel *)k->channels.items;
}

/* ---- the platform seam ---- */

/* A new buffer of LENGTH + 1 bytes for a read, or NULL. */
static char *vbg__buffer(unsigned long long length) {
    return length < (size_t)-1 ? (char *)malloc((size_t)length + 1) : NULL;
}

/* Exit codes 1, 2 and 3 are the bridge's own refusals to start. */
static const char *vbg__refusal(long long code) {
    return code == 1   ? VBG_END_CONNECTION_FAILED
           : code == 2 ? VBG_END_ALREADY_RUNNING
           : code == 3 ? VBG_END_CANNOT_WRITE
                       : NULL;
}

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#define VBG__SHARE_ALL (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)
#define VBG__TERMINATED_CODE 143 /* the code SIGTERM gives on POSIX */
#define VBG__DLL_NOT_FOUND 0xC0000135LL

static const char *vbg__exit_reason(long long code) {
    return vbg__refusal(code) != NULL   ? vbg__refusal(code)
           : code == VBG__DLL_NOT_FOUND ? VBG_END_NOT_STARTED
                                        : VBG_END_BRIDGE_ENDED;
}

static wchar_t *vbg__widen(const char *text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, NULL, 0);
    wchar_t *wide = n > 0 ? (wchar_t *)malloc(sizeof(wchar_t) * (size_t)n) : NULL;
    if (wide != NULL) MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, n);
    return wide;
}

static long long vbg__now_ms(void) { return (long long)GetTickCount64(); }
static void vbg__sleep_ms(int ms) { Sleep((DWORD)ms); }

static long long vbg__file_time_ns(FILETIME t) {
    return (long long)(((unsigned long long)t.dwHighDateTime << 32) | t.dwLowDateTime) * 100;
}

static long long vbg__file_clock_ns(void) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return vbg__file_time_ns(now);
}

/* Its attributes only, without opening it: nothing the bridge does is
   refused meanwhile. */
static int vbg__stat(const char *path, vbg__stamp *stamp) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    wchar_t *wide = vbg__widen(path);
    BOOL got = wide != NULL && GetFileAttributesExW(wide, GetFileExInfoStandard, &data);
    DWORD error = GetLastError();
    free(wide);
    if (!got)
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? VBG__ABSENT
                                                                              : VBG__FAILED;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return VBG__FAILED;
    stamp->exists = 1;
    stamp->size = ((unsigned long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
    stamp->id = 0;
    stamp->modified_ns = vbg__file_time_ns(data.ftLastWriteTime);
    stamp->changed_ns = vbg__file_time_ns(data.ftCreationTime);
    return VBG__OK;
}

/* Full sharing: the bridge's replace of a file never makes this refused. */
static HANDLE vbg__open(const char *path, DWORD access, DWORD disposition) {
    wchar_t *wide = vbg__widen(path);
    HANDLE file = wide == NULL ? INVALID_HANDLE_VALUE
                               : CreateFileW(wide, access, VBG__SHARE_ALL, NULL, disposition,
                                             FILE_ATTRIBUTE_NORMAL, NULL);
    free(wide);
    return file;
}

static int vbg__read_file(const char *path, unsigned long long *offset, char **text,
                          size_t *length) {
    HANDLE file = vbg__open(path, GENERIC_READ, OPEN_EXISTING);
    LARGE_INTEGER size, start;
    unsigned long long wanted = 0;
    char *buffer = NULL;
    DWORD got = 0;
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? VBG__ABSENT
                                                                              : VBG__FAILED;
    }
    *length = 0;
    if (GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size)) {
        if (offset != NULL && (unsigned long long)size.QuadPart < *offset) *offset = 0;
        start.QuadPart = offset != NULL ? (LONGLONG)*offset : 0;
        wanted = (unsigned long long)(size.QuadPart - start.QuadPart);
        if (SetFilePointerEx(file, start, NULL, FILE_BEGIN)) buffer = vbg__buffer(wanted);
    }
    while (buffer != NULL && *length < wanted) {
        unsigned long long rest = wanted - *length;
        if (!ReadFile(file, buffer + *length, rest > 0x40000000 ? 0x40000000 : (DWORD)rest, &got,
                      NULL)) {
            free(buffer);
            buffer = NULL;
        } else if (got == 0) {
            break; /* cut short since the size was taken */
        } else {
            *length += got;
        }
    }
    CloseHandle(file);
    if (buffer == NULL) return VBG__FAILED;
    buffer[*length] = '\0';
    *text = buffer;
    return VBG__OK;
}

/* In place: open, truncate, one write, close. */
static int vbg__write_file(const char *path, const char *text, size_t length) {
    HANDLE file = vbg__open(path, GENERIC_WRITE, CREATE_ALWAYS);
    DWORD wrote = 0;
    int ok;
    if (file == INVALID_HANDLE_VALUE) return 0;
    ok = WriteFile(file, text, (DWORD)length, &wrote, NULL) && wrote == length;
    return CloseHandle(file) && ok;
}

static void vbg__remove_file(const char *path) {
    wchar_t *wide = vbg__widen(path);
    if (wide != NULL) DeleteFileW(wide);
    free(wide);
}

static int vbg__make_one_dir(const char *path) {
    wchar_t *wide = vbg__widen(path);
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    if (wide != NULL) {
        CreateDirectoryW(wide, NULL);
        attributes = GetFileAttributesW(wide);
    }
    free(wide);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

/* Quoted so that CommandLineToArgvW gives ARG back: backslashes doubled
   only before a quote, the closing one included. */
static char *vbg__quote(char *out, const char *arg) {
    size_t slashes = 0, i;
    *out++ = '"';
    for (; *arg != '\0'; ++arg) {
        if (*arg == '\\') {
            ++slashes;
            continue;
        }
        for (i = 0; i < (*arg == '"' ? slashes * 2 + 1 : slashes); ++i) *out++ = '\\';
        slashes = 0;
        *out++ = *arg;
    }
    for (i = 0; i < slashes * 2; ++i) *out++ = '\\';
    *out++ = '"';
    return out;
}

/* A job that ends the bridge when its last handle closes, as the game's
   end closes it. */
static HANDLE vbg__kill_on_close_job(void) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    HANDLE job = CreateJobObjectW(NULL, NULL);
    memset(&limits, 0, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job != NULL &&
        !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        job = NULL;
    }
    return job;
}

/* The game folder as CreateProcessW wants it: a full path. */
static wchar_t *vbg__full_path(const char *path) {
    wchar_t *wide = vbg__widen(path), *full = NULL;
    DWORD n = wide != NULL ? GetFullPathNameW(wide, 0, NULL, NULL) : 0;
    if (n > 0) full = (wchar_t *)malloc(sizeof(wchar_t) * n);
    if (full != NULL && GetFullPathNameW(wide, n, full, NULL) >= n) {
        free(full);
        full = NULL;
    }
    free(wide);
    return full;
}

/* The names of two NAME=VALUE entries compared as Windows sorts an
   environment block: case-insensitively, a leading '=' part of the name. */
static int vbg__compare_entries(const void *a, const void *b) {
    const wchar_t *x = *(const wchar_t *const *)a, *y = *(const wchar_t *const *)b;
    size_t i;
    for (i = 0;; ++i) {
        wchar_t c = x[i] == L'=' && i > 0 ? 0 : x[i], d = y[i] == L'=' && i > 0 ? 0 : y[i];
        if (c >= L'a' && c <= L'z') c = (wchar_t)(c - L'a' + L'A');
        if (d >= L'a' && d <= L'z') d = (wchar_t)(d - L'a' + L'A');
        if (c != d) return c < d ? -1 : 1;
        if (c == 0) return 0;
    }
}

static int vbg__names_password(const wchar_t *entry) {
    static const wchar_t name[] = L"" VBG_PASSWORD_VARIABLE L"=";
    size_t i;
    for (i = 0; name[i] != 0; ++i) {
        wchar_t c = entry[i] >= L'a' && entry[i] <= L'z' ? (wchar_t)(entry[i] - 32) : entry[i];
        if (c != name[i]) return 0;
    }
    return 1;
}

/* The game's environment for the bridge, sorted, double zero at the end:
   an inherited password left out, the game's own put in. */
static wchar_t *vbg__environment(const struct vbg__kit *k) {
    wchar_t *own = GetEnvironmentStringsW(), *entry, *block = NULL, *out, *password = NULL;
    const wchar_t **entries = NULL;
    size_t count = 0, size = 2, i;
    if (own == NULL) return NULL;
    for (entry = own; *entry != 0; entry += wcslen(entry) + 1) ++count;
    entries = (const wchar_t **)malloc(sizeof *entries * (count + 1));
    if (k->has_password) {
        char *text = (char *)malloc(strlen(VBG_PASSWORD_VARIABLE) + strlen(k->password) + 2);
        if (text != NULL) sprintf(text, "%s=%s", VBG_PASSWORD_VARIABLE, k->password);
        password = text != NULL ? vbg__widen(text) : NULL;
        free(text);
    }
    if (entries != NULL && (password != NULL || !k->has_password)) {
        count = 0;
        for (entry = own; *entry != 0; entry += wcslen(entry) + 1)
            if (!vbg__names_password(entry)) entries[count++] = entry;
        if (password != NULL) entries[count++] = password;
        qsort((void *)entries, count, sizeof *entries, vbg__compare_entries);
        for (i = 0; i < count; ++i) size += wcslen(entries[i]) + 1;
        block = (wchar_t *)malloc(sizeof(wchar_t) * size);
    }
    if (block != NULL) {
        out = block;
        for (i = 0; i < count; ++i) {
            size_t n = wcslen(entries[i]) + 1;
            memcpy(out, entries[i], sizeof(wchar_t) * n);
            out += n;
        }
        *out++ = 0;
        if (count == 0) *out = 0;
    }
    if (password != NULL) SecureZeroMemory(password, sizeof(wchar_t) * wcslen(password));
    free(password);
    free((void *)entries);
    FreeEnvironmentStringsW(own);
    return block;
}

static int vbg__spawn(struct vbg__kit *k, char *error_text, size_t error_size) {
    size_t size = strlen(k->program) * 2 + 3;
    char *line, *end;
    wchar_t *wide_line, *wide_dir, *environment;
    STARTUPINFOW startup;
    PROCESS_INFORMATION started;
    HANDLE job;
    UINT mode;
    BOOL ok = FALSE;
    DWORD error = ERROR_OUTOFMEMORY;
    int i;
    for (i = 0; i < k->arg_count; ++i) size += strlen(k->args[i]) * 2 + 3;
    line = (char *)malloc(size + 1);
    if (line == NULL) return 0;
    end = vbg__quote(line, k->program);
    for (i = 0; i < k->arg_count; ++i) *end++ = ' ', end = vbg__quote(end, k->args[i]);
    *end = '\0';
    wide_line = vbg__widen(line);
    wide_dir = vbg__full_path(k->game_dir);
    environment = vbg__environment(k);
    free(line);
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    job = vbg__kill_on_close_job();
    /* No error box in front of the player when a DLL is missing: the exit
       code tells. The game's own mode is given back at once. */
    mode = SetErrorMode(SEM_FAILCRITICALERRORS);
    SetErrorMode(mode | SEM_FAILCRITICALERRORS);
    if (wide_line != NULL && wide_dir != NULL && environment != NULL) {
        /* Inheriting no handle: the bridge needs none of the game's. */
        ok = CreateProcessW(NULL, wide_line, NULL, NULL, FALSE,
                            CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT, environment, wide_dir,
                            &startup, &started);
        error = GetLastError();
    }
    SetErrorMode(mode);
    free(wide_line);
    free(wide_dir);
    if (environment != NULL) {
        wchar_t *e = environment;
        while (*e != 0) e += wcslen(e) + 1;
        SecureZeroMemory(environment, sizeof(wchar_t) * (size_t)(e - environment));
    }
    free(environment);
    if (!ok) {
        if (job != NULL) CloseHandle(job);
        snprintf(error_text, error_size, "cannot start %s (Windows error %lu)", k->program,
                 (unsigned long)error);
        return 0;
    }
    /* Where the game's own job forbids this, the bridge runs without one. */
    if (job != NULL && !AssignProcessToJobObject(job, started.hProcess)) {
        CloseHandle(job);
        job = NULL;
    }
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);
    k->process.handle = started.hProcess;
    k->process.job = job;
    k->process.pid = (long long)started.dwProcessId;
    k->process.running = 1;
    return 1;
}

static int vbg__poll_end(vbg__process *p) {
    DWORD code = 0;
    if (!p->running) return 1;
    if (WaitForSingleObject((HANDLE)p->handle, 0) != WAIT_OBJECT_0) return 0;
    GetExitCodeProcess((HANDLE)p->handle, &code);
    CloseHandle((HANDLE)p->handle);
    if (p->job != NULL) CloseHandle((HANDLE)p->job);
    p->handle = p->job = NULL;
    p->exit_code = (long long)code;
    p->running = 0;
    return 1;
}

static void vbg__terminate(vbg__process *p) {
    TerminateProcess((HANDLE)p->handle, VBG__TERMINATED_CODE);
    p->terminated = 1;
    p->terminated_at = vbg__now_ms();
}

static void vbg__kill(vbg__process *p) { vbg__terminate(p); }

/* TerminateProcess cannot be refused, so no time-out is needed to wait. */
static void vbg__end(vbg__process *p, int timeout_ms) {
    (void)timeout_ms;
    vbg__terminate(p);
    WaitForSingleObject((HANDLE)p->handle, INFINITE);
    vbg__poll_end(p);
}

#else /* POSIX */
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif

extern char **environ;

static const char *vbg__exit_reason(long long code) {
    return vbg__refusal(code) != NULL ? vbg__refusal(code) : VBG_END_BRIDGE_ENDED;
}

static long long vbg__now_ms(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

static long long vbg__file_clock_ns(void) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
}

static void vbg__sleep_ms(int ms) {
    struct timespec pause;
    pause.tv_sec = ms / 1000;
    pause.tv_nsec = (long)(ms % 1000) * 1000000L;
    nanosleep(&pause, NULL);
}

#ifdef __APPLE__
#define VBG__MODIFIED(info) (info).st_mtimespec
#define VBG__CHANGED(info) (info).st_ctimespec
#else
#define VBG__MODIFIED(info) (info).st_mtim
#define VBG__CHANGED(info) (info).st_ctim
#endif

/* A plain file's stamp; anything else (a pipe put there) is never read. */
static int vbg__stat(const char *path, vbg__stamp *stamp) {
    struct stat info;
    if (stat(path, &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? VBG__ABSENT : VBG__FAILED;
    if (!S_ISREG(info.st_mode)) return VBG__FAILED;
    stamp->exists = 1;
    stamp->size = (unsigned long long)info.st_size;
    stamp->id = (unsigned long long)info.st_ino;
    stamp->modified_ns =
        (long long)VBG__MODIFIED(info).tv_sec * 1000000000LL + VBG__MODIFIED(info).tv_nsec;
    stamp->changed_ns =
        (long long)VBG__CHANGED(info).tv_sec * 1000000000LL + VBG__CHANGED(info).tv_nsec;
    return VBG__OK;
}

static int vbg__read_file(const char *path, unsigned long long *offset, char **text,
                          size_t *length) {
    /* Not blocking, and only a plain file: a pipe put there is never read. */
    int file = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info;
    unsigned long long wanted = 0, start;
    char *buffer = NULL;
    ssize_t got;
    if (file < 0) return errno == ENOENT || errno == ENOTDIR ? VBG__ABSENT : VBG__FAILED;
    *length = 0;
    if (fstat(file, &info) == 0 && S_ISREG(info.st_mode)) {
        if (offset != NULL && (unsigned long long)info.st_size < *offset) *offset = 0;
        start = offset != NULL ? *offset : 0;
        wanted = (unsigned long long)info.st_size - start;
        if (lseek(file, (off_t)start, SEEK_SET) >= 0) buffer = vbg__buffer(wanted);
    }
    while (buffer != NULL && *length < wanted) {
        got = read(file, buffer + *length, (size_t)(wanted - *length));
        if (got < 0 && errno != EINTR) {
            free(buffer);
            buffer = NULL;
        } else if (got == 0) {
            break; /* cut short since the size was taken */
        } else if (got > 0) {
            *length += (size_t)got;
        }
    }
    close(file);
    if (buffer == NULL) return VBG__FAILED;
    buffer[*length] = '\0';
    *text = buffer;
    return VBG__OK;
}

/* In place: open, truncate, one write, close. */
static int vbg__write_file(const char *path, const char *text, size_t length) {
    int file = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    int ok;
    if (file < 0) return 0;
    ok = write(file, text, length) == (ssize_t)length;
    return close(file) == 0 && ok;
}

static void vbg__remove_file(const char *path) { unlink(path); }

static int vbg__make_one_dir(const char *path) {
    struct stat info;
    mkdir(path, 0777);
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

/* PROGRAM from the current directory, since the child changes to the game
   folder before it runs it. */
static char *vbg__absolute(const char *program) {
    size_t size = 256;
    char *path = NULL;
    if (program[0] == '/') return vbg__copy(program, strlen(program));
    for (;;) {
        char *cwd = (char *)malloc(size);
        if (cwd != NULL && getcwd(cwd, size) != NULL) path = vbg__join(cwd, program);
        free(cwd);
        if (path != NULL || cwd == NULL || errno != ERANGE) return path;
        size *= 2;
    }
}

/* The game's environment for the bridge, made before the fork: an
   inherited password left out, the game's own put in. */
static char **vbg__environment(const struct vbg__kit *k, char **password) {
    size_t count = 0, name = strlen(VBG_PASSWORD_VARIABLE), i;
    char **entries;
    while (environ[count] != NULL) ++count;
    entries = (char **)malloc(sizeof *entries * (count + 2));
    *password = NULL;
    if (entries == NULL) return NULL;
    for (count = 0, i = 0; environ[i] != NULL; ++i)
        if (!(strncmp(environ[i], VBG_PASSWORD_VARIABLE, name) == 0 && environ[i][name] == '='))
            entries[count++] = environ[i];
    if (k->has_password) {
        *password = (char *)malloc(name + strlen(k->password) + 2);
        if (*password == NULL) {
            free((void *)entries);
            return NULL;
        }
        sprintf(*password, "%s=%s", VBG_PASSWORD_VARIABLE, k->password);
        entries[count++] = *password;
    }
    entries[count] = NULL;
    return entries;
}

/* The highest descriptor the game has open now, found before the fork
   (nothing between fork and exec may allocate): Linux lists them, other
   systems give their limit. */
static int vbg__highest_descriptor(void) {
    long limit = sysconf(_SC_OPEN_MAX);
    int highest = -1;
#ifdef __linux__
    DIR *open_files = opendir("/proc/self/fd");
    struct dirent *entry;
    if (open_files != NULL) {
        while ((entry = readdir(open_files)) != NULL)
            if (atoi(entry->d_name) > highest) highest = atoi(entry->d_name);
        closedir(open_files);
        return highest + 64; /* room for any another thread opens meanwhile */
    }
#endif
    return limit > 0 && limit < 65536 ? (int)limit : 65536;
}

static int vbg__spawn(struct vbg__kit *k, char *error, size_t error_size) {
    char *path = vbg__absolute(k->program), *password = NULL;
    char **argv = (char **)malloc(sizeof(char *) * (size_t)(k->arg_count + 2));
    char **envp = vbg__environment(k, &password);
    int report[2] = {-1, -1}, failure = ENOMEM, highest = vbg__highest_descriptor(), i;
    pid_t parent = getpid(), pid = -1;
    ssize_t got = 0;
    if (path != NULL && argv != NULL && envp != NULL && pipe(report) == 0) {
        argv[0] = path;
        for (i = 0; i < k->arg_count; ++i) argv[i + 1] = k->args[i];
        argv[k->arg_count + 1] = NULL;
        fcntl(report[0], F_SETFD, FD_CLOEXEC);
        fcntl(report[1], F_SETFD, FD_CLOEXEC);
        pid = fork();
        if (pid < 0) failure = errno;
    }
    if (pid == 0) {
        /* The child: nothing here may allocate. It ends with the thread
           that started it, hears nothing of the game's stdio and keeps no
           other descriptor of the game's, inheritable or not. */
        sigset_t none;
        int null_file, fd;
#ifdef __linux__
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
#endif
        (void)parent;
        signal(SIGTERM, SIG_DFL);
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, NULL);
        if (report[1] <= 2) report[1] = fcntl(report[1], F_DUPFD_CLOEXEC, 3);
        null_file = open("/dev/null", O_RDWR);
        for (fd = 0; fd <= 2; ++fd) dup2(null_file, fd);
        for (fd = 3; fd <= highest; ++fd)
            if (fd != report[1]) close(fd);
        if (chdir(k->game_dir) == 0) execve(argv[0], argv, envp);
        failure = errno;
        if (write(report[1], &failure, sizeof failure) < 0) _exit(127);
        _exit(127);
    }
    if (report[1] >= 0) close(report[1]);
    if (pid > 0) {
        do got = read(report[0], &failure, sizeof failure);
        while (got < 0 && errno == EINTR);
    }
    if (report[0] >= 0) close(report[0]);
    if (password != NULL) memset(password, 0, strlen(password));
    free(password);
    free((void *)envp);
    free(path);
    free((void *)argv);
    if (pid > 0 && got != (ssize_t)sizeof failure) {
        k->process.pid = (long long)pid;
        k->process.running = 1;
        return 1;
    }
    if (pid > 0) waitpid(pid, NULL, 0);
    snprintf(error, error_size, "cannot start %s: %s", k->program, strerror(failure));
    return 0;
}

static int vbg__poll_end(vbg__process *p) {
    int status = 0;
    pid_t got;
    if (!p->running) return 1;
    got = waitpid((pid_t)p->pid, &status, WNOHANG);
    if (got == 0 || (got < 0 && errno != ECHILD)) return 0;
    /* ECHILD: the game lets the system reap its children; the code is lost. */
    p->exit_code = got < 0               ? -1
                   : WIFEXITED(status)   ? WEXITSTATUS(status)
                   : WIFSIGNALED(status) ? 128 + WTERMSIG(status)
                                         : -1;
    p->running = 0;
    return 1;
}

static void vbg__terminate(vbg__process *p) {
    kill((pid_t)p->pid, SIGTERM);
    p->terminated = 1;
    p->terminated_at = vbg__now_ms();
}

static void vbg__kill(vbg__process *p) { kill((pid_t)p->pid, SIGKILL); }

static void vbg__end(vbg__process *p, int timeout_ms) {
    long long deadline = vbg__now_ms() + timeout_ms;
    int killed = 0;
    vbg__terminate(p);
    while (!vbg__poll_end(p)) {
        if (!killed && vbg__now_ms() >= deadline) killed = kill((pid_t)p->pid, SIGKILL) == 0;
        vbg__sleep_ms(VBG__POLL_MS);
    }
}
#endif /* POSIX */

#endif /* VOICEBRIDGE_GAME_IMPLEMENTATION */
