/* voicebridge_game.h: voice chat for a game through voicebridge, in one file.

   The game starts the bridge and talks to it through the text files in
   data/ under the bridge's working directory (the game folder); this file
   does what every game must get right there, as docs/game-integration.md
   says: a start that cannot be fooled by an earlier run's files, one
   command at a time, private messages read once each from a kept offset,
   opens that Windows never refuses, and a bridge that ends with the game.

   C99, compiles as C++ too, Windows and POSIX. In exactly one C or C++ file:

       #define VOICEBRIDGE_GAME_IMPLEMENTATION
       #include "voicebridge_game.h"

   (On POSIX, in a strict -std=c99 build, include it there before any
   system header, so that it can ask for the POSIX declarations it needs.)

   Memory: everything lives in a vbg_bridge that the caller owns and zeroes
   (`vbg_bridge bridge = {0};` in C, `= {};` in C++). The lists and texts the
   kit returns are its own; they stay valid until the next call of the same
   function on the same bridge, or vbg_free, which frees them all. Nothing
   is for the caller to free.

   Strings are UTF-8 in and out. One vbg_bridge serves one bridge process
   and one thread; there is no global state.
*/
#ifndef VOICEBRIDGE_GAME_H
#define VOICEBRIDGE_GAME_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VBG_STOP_TIMEOUT_MS 5000 /* what vbg_stop is given when in doubt */
#define VBG_ERROR_SIZE 256       /* vbg_bridge.error, terminating zero included */
#define VBG_STATE_KEY_COUNT \
    7 /* status, ptt, myuserid, mychannelid, mychannelname, nickname, error */

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

/* What vbg_read_state found. */
enum {
    VBG_STATE_NONE = 0, /* this run has not published yet: no state */
    VBG_STATE_READ = 1, /* read now */
    VBG_STATE_KEPT = 2  /* the file could not be read now: the last good state is kept */
};

/* What vbg_send did. */
enum {
    VBG_SEND_REFUSED = -2, /* not a bridge command with a well-formed argument: no file touched */
    VBG_SEND_BUSY = -1, /* the previous command was not taken in time: this one was not written */
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

typedef struct vbg_command {
    const char *keyword;
    int argument;      /* VBG_ARGUMENT_... */
    const char *shape; /* "none", "channel_id", "channel_name" or "user_id_text" */
} vbg_command;

typedef struct vbg_user {
    int id;
    const char *name;
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

typedef struct vbg_bridge {
    char error[VBG_ERROR_SIZE]; /* why the last vbg_start failed */
    /* The rest is the kit's own. */
    char *data_dir;
    long long pid;
    void *process, *job; /* Windows handles */
    int started, ended, trusted;
    long long exit_code;
    char *state_text;
    const char *state_values[VBG_STATE_KEY_COUNT];
    unsigned long long pm_offset;
    char *pm_text;
    size_t pm_length, pm_position;
    char *users_text, *channels_text;
    vbg_user *users;
    vbg_channel *channels;
    int user_count, channel_count;
} vbg_bridge;

/* Starts PROGRAM (a path, absolute or from the current directory) with
   ARGS, the bridge's positional arguments, in GAME_DIR, which it makes. A
   bridge this object started before is ended first, the old state file is
   deleted, and the message offset goes back to 0. Windows: a job object
   ends the bridge with the game; Linux: a parent-death signal does (start
   it from a thread that lives as long as the game). 1 when it started,
   else 0 and bridge->error says why. */
int vbg_start(vbg_bridge *bridge, const char *game_dir, const char *program,
              const char *const *args, int arg_count);

/* Ends the bridge and waits for it: POSIX SIGTERM, then SIGKILL after
   TIMEOUT_MS; Windows TerminateProcess with 143, the code SIGTERM gives.
   The lists stay readable. */
void vbg_stop(vbg_bridge *bridge, int timeout_ms);

/* vbg_stop, then frees all the kit holds; the bridge is zeroed for reuse. */
void vbg_free(vbg_bridge *bridge);

/* 1 and *CODE once the bridge has ended, 0 while it runs or before a start.
   The codes are the guide's (1, 2, 3); on Windows the unsigned
   GetExitCodeProcess value (3221225781: voiceclient.dll missing), on POSIX
   128 + the signal that ended it. */
int vbg_exit_code(vbg_bridge *bridge, long long *code);

/* Reads data/state.txt again, once it is this run's (the file exists and
   data/voicebridge.lock names the process started). VBG_STATE_... */
int vbg_read_state(vbg_bridge *bridge);

/* KEY's value in the state last read; "" when there is none. */
const char *vbg_state_value(const vbg_bridge *bridge, const char *key);

/* Reads the state and gives its status word; "" until this run publishes. */
const char *vbg_status(vbg_bridge *bridge);

/* 1 once the status is WORD, 0 when TIMEOUT_MS pass or the bridge ends first. */
int vbg_wait_status(vbg_bridge *bridge, const char *word, int timeout_ms);

/* 1 when the session is over: status error with myuserid 0 in this run's
   state, or no bridge process running. */
int vbg_session_over(vbg_bridge *bridge);

/* Sends one command (see vbg_commands) and waits up to TIMEOUT_MS in all:
   until the previous one is taken, then until this one is. VBG_SEND_... */
int vbg_send(vbg_bridge *bridge, const char *command, int timeout_ms);

/* The next private message of this run: 1 and *MESSAGE, or 0 when there is
   none yet. MESSAGE's texts stay valid until the next call. */
int vbg_next_message(vbg_bridge *bridge, vbg_message *message);

/* The users and the channels as the bridge lists them now; a missing file
   is an empty list. */
const vbg_user *vbg_users(vbg_bridge *bridge, int *count);
const vbg_channel *vbg_channels(vbg_bridge *bridge, int *count);

/* The commands the bridge takes, in the order it tries them. */
const vbg_command *vbg_commands(int *count);

#ifdef __cplusplus
}
#endif

#endif /* VOICEBRIDGE_GAME_H */

/* ---------------------------------------------------------------------- */

#if defined(VOICEBRIDGE_GAME_IMPLEMENTATION) && !defined(VOICEBRIDGE_GAME_IMPLEMENTED)
#define VOICEBRIDGE_GAME_IMPLEMENTED

#if !defined(_WIN32) && defined(__STRICT_ANSI__) && !defined(_POSIX_C_SOURCE) && \
    !defined(_XOPEN_SOURCE) && !defined(_GNU_SOURCE) && !defined(_DEFAULT_SOURCE)
#define _POSIX_C_SOURCE 200809L
#endif

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define VBG__POLL_MS 2
#define VBG__MAX_ID 2147483647LL

/* The data folder, its files, and the byte between the fields of a line. */
#define VBG__DATA_DIRECTORY "data"
#define VBG__STATE_FILE "state.txt"
#define VBG__USERS_FILE "users.txt"
#define VBG__CHANNELS_FILE "channels.txt"
#define VBG__PM_FILE "pm_in.txt"
#define VBG__COMMAND_FILE "cmd.txt"
#define VBG__LOCK_FILE "voicebridge.lock"
#define VBG__FIELD_SEPARATOR '|'

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

/* The state's keys in the bridge's order; the two the kit reads named. */
#define VBG__KEY_STATUS "status"
#define VBG__KEY_MY_USER_ID "myuserid"
static const char *const vbg__state_keys[VBG_STATE_KEY_COUNT] = {
    VBG__KEY_STATUS, "ptt",  VBG__KEY_MY_USER_ID, "mychannelid", "mychannelname",
    "nickname",      "error"};

/* The platform seam, at the bottom of the file. */
enum { VBG__ABSENT, VBG__FAILED, VBG__OK };
static long long vbg__now_ms(void);
static void vbg__sleep_ms(int ms);
/* Reads PATH from *OFFSET (0 when OFFSET is NULL; back to 0 when the file
   is shorter) to its end into a new zero-terminated *TEXT. VBG__... */
static int vbg__read_file(const char *path, unsigned long long *offset, char **text,
                          size_t *length);
static int vbg__write_file(const char *path, const char *text, size_t length);
static void vbg__remove_file(const char *path);
static int vbg__make_one_dir(const char *path); /* 1 when PATH is a directory afterwards */
static int vbg__spawn(vbg_bridge *b, const char *program, const char *const *args, int count,
                      const char *dir);
static int vbg__poll_end(vbg_bridge *b); /* 1 once ended; sets ended and exit_code */
static void vbg__end(vbg_bridge *b, int timeout_ms);

static char *vbg__join(const char *dir, const char *name) {
    size_t a = strlen(dir), n = strlen(name);
    char *path = (char *)malloc(a + n + 2);
    if (path == NULL) return NULL;
    memcpy(path, dir, a);
    path[a] = '/';
    memcpy(path + a + 1, name, n + 1);
    return path;
}

static int vbg__read_data(const vbg_bridge *b, const char *name, unsigned long long *offset,
                          char **text, size_t *length) {
    char *path = b->data_dir ? vbg__join(b->data_dir, name) : NULL;
    int got = path ? vbg__read_file(path, offset, text, length) : VBG__ABSENT;
    free(path);
    return got;
}

/* Every directory on the way, as mkdir -p. */
static int vbg__make_dirs(const char *dir) {
    char *path = (char *)malloc(strlen(dir) + 1);
    size_t i;
    int made;
    if (path == NULL) return 0;
    strcpy(path, dir);
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

static int vbg__parse_int(const char *text) {
    long long value = strtoll(text, NULL, 10);
    return value > VBG__MAX_ID    ? (int)VBG__MAX_ID
           : value < -VBG__MAX_ID ? (int)-VBG__MAX_ID
                                  : (int)value;
}

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

static int vbg__well_formed(const char *command) {
    int i;
    if (command == NULL || strpbrk(command, "\r\n") != NULL) return 0;
    for (i = 0; i < VBG__COMMAND_COUNT; ++i) {
        const vbg_command *known = &vbg__command_table[i];
        size_t n = strlen(known->keyword);
        const char *arg = command + n + 1, *bar;
        if (strncmp(command, known->keyword, n) != 0) continue;
        if (command[n] == '\0') return known->argument == VBG_ARGUMENT_NONE;
        if (command[n] != ' ') continue;
        switch (known->argument) {
            case VBG_ARGUMENT_CHANNEL_ID: return vbg__positive_id(arg, arg + strlen(arg));
            case VBG_ARGUMENT_CHANNEL_NAME: return *arg != '\0';
            case VBG_ARGUMENT_USER_ID_TEXT:
                bar = strchr(arg, VBG__FIELD_SEPARATOR);
                return bar != NULL && vbg__positive_id(arg, bar) && bar[1] != '\0';
            default: return 0;
        }
    }
    return 0;
}

/* Splits TEXT in place into its lines (the line feeds become zeros); gives
   the number of lines, which are then walked with vbg__next_line (taken
   before a line is cut further). */
static int vbg__split_lines(char *text, size_t length) {
    int lines = 0;
    size_t i;
    for (i = 0; i < length; ++i)
        if (text[i] == '\n') text[i] = '\0', ++lines;
    return lines + (length > 0 && text[length - 1] != '\0');
}

static char *vbg__next_line(char *line) { return line + strlen(line) + 1; }

/* ---- this run's state ---- */

static int vbg__lock_names_our_process(const vbg_bridge *b) {
    char *text;
    size_t length, digits = 0;
    int ours;
    if (vbg__read_data(b, VBG__LOCK_FILE, NULL, &text, &length) != VBG__OK) return 0;
    while (digits < length && text[digits] >= '0' && text[digits] <= '9') ++digits;
    ours = digits > 0 && digits < 19 && (digits == length || strcmp(text + digits, "\n") == 0) &&
           strtoll(text, NULL, 10) == b->pid;
    free(text);
    return ours;
}

int vbg_read_state(vbg_bridge *b) {
    const char *values[VBG_STATE_KEY_COUNT] = {NULL};
    char *text, *line, *next;
    size_t length;
    int lines, found = 0, k;
    if (!b->started || vbg__read_data(b, VBG__STATE_FILE, NULL, &text, &length) != VBG__OK)
        return b->trusted ? VBG_STATE_KEPT : VBG_STATE_NONE;
    lines = vbg__split_lines(text, length);
    for (line = text; lines-- > 0; line = next) {
        char *bar = strchr(line, VBG__FIELD_SEPARATOR);
        next = vbg__next_line(line);
        if (bar == NULL) continue;
        *bar = '\0';
        for (k = 0; k < VBG_STATE_KEY_COUNT; ++k)
            if (values[k] == NULL && strcmp(line, vbg__state_keys[k]) == 0)
                values[k] = bar + 1, ++found;
    }
    if (found == 0 || !(b->trusted || vbg__lock_names_our_process(b))) {
        free(text);
        return b->trusted ? VBG_STATE_KEPT : VBG_STATE_NONE;
    }
    b->trusted = 1;
    free(b->state_text);
    b->state_text = text;
    memcpy(b->state_values, values, sizeof values);
    return VBG_STATE_READ;
}

const char *vbg_state_value(const vbg_bridge *b, const char *key) {
    int k;
    for (k = 0; k < VBG_STATE_KEY_COUNT; ++k)
        if (strcmp(key, vbg__state_keys[k]) == 0 && b->state_values[k] != NULL)
            return b->state_values[k];
    return "";
}

const char *vbg_status(vbg_bridge *b) {
    vbg_read_state(b);
    return vbg_state_value(b, VBG__KEY_STATUS);
}

static int vbg__running(vbg_bridge *b) { return b->started && !vbg__poll_end(b); }

int vbg_wait_status(vbg_bridge *b, const char *word, int timeout_ms) {
    long long deadline = vbg__now_ms() + timeout_ms;
    for (;;) {
        int ran = vbg__running(b); /* before the read, so that its last state is seen */
        if (strcmp(vbg_status(b), word) == 0) return 1;
        if (!ran || vbg__now_ms() >= deadline) return 0;
        vbg__sleep_ms(VBG__POLL_MS);
    }
}

int vbg_session_over(vbg_bridge *b) {
    if (!vbg__running(b)) return 1;
    vbg_read_state(b);
    return strcmp(vbg_state_value(b, VBG__KEY_STATUS), VBG_STATUS_ERROR) == 0 &&
           strcmp(vbg_state_value(b, VBG__KEY_MY_USER_ID), "0") == 0;
}

int vbg_exit_code(vbg_bridge *b, long long *code) {
    if (!b->started || !vbg__poll_end(b)) return 0;
    *code = b->exit_code;
    return 1;
}

/* ---- starting and ending ---- */

static void vbg__forget_run(vbg_bridge *b) {
    free(b->state_text);
    free(b->pm_text);
    b->state_text = b->pm_text = NULL;
    memset((void *)b->state_values, 0, sizeof b->state_values);
    b->pm_offset = 0;
    b->pm_length = b->pm_position = 0;
    b->trusted = b->started = b->ended = 0;
    b->pid = b->exit_code = 0;
}

int vbg_start(vbg_bridge *b, const char *game_dir, const char *program, const char *const *args,
              int arg_count) {
    char *state_path;
    vbg_stop(b, VBG_STOP_TIMEOUT_MS);
    vbg__forget_run(b);
    free(b->data_dir);
    b->error[0] = '\0';
    b->data_dir = vbg__join(game_dir, VBG__DATA_DIRECTORY);
    if (b->data_dir == NULL || !vbg__make_dirs(game_dir)) {
        snprintf(b->error, sizeof b->error, "cannot make the folder %s", game_dir);
        return 0;
    }
    /* While it is absent, the new bridge has not published yet. */
    state_path = vbg__join(b->data_dir, VBG__STATE_FILE);
    if (state_path != NULL) vbg__remove_file(state_path);
    free(state_path);
    if (!vbg__spawn(b, program, args, arg_count, game_dir)) return 0;
    b->started = 1;
    return 1;
}

void vbg_stop(vbg_bridge *b, int timeout_ms) {
    if (b->started && !vbg__poll_end(b)) vbg__end(b, timeout_ms);
}

void vbg_free(vbg_bridge *b) {
    vbg_stop(b, VBG_STOP_TIMEOUT_MS);
    vbg__forget_run(b);
    free(b->data_dir);
    free(b->users_text);
    free(b->channels_text);
    free(b->users);
    free(b->channels);
    memset((void *)b, 0, sizeof *b);
}

/* ---- commands ---- */

const vbg_command *vbg_commands(int *count) {
    *count = VBG__COMMAND_COUNT;
    return vbg__command_table;
}

/* 1 when cmd.txt holds exactly COMMAND (an absent file holds ""), 0 when
   not, -1 when it could not be read now. */
static int vbg__command_file_is(const vbg_bridge *b, const char *command) {
    char *text = NULL;
    size_t length = 0;
    int is;
    if (vbg__read_data(b, VBG__COMMAND_FILE, NULL, &text, &length) == VBG__FAILED) return -1;
    is = length == strlen(command) && (length == 0 || memcmp(text, command, length) == 0);
    free(text);
    return is;
}

int vbg_send(vbg_bridge *b, const char *command, int timeout_ms) {
    long long deadline = vbg__now_ms() + timeout_ms;
    char *path;
    int written = 0;
    if (!vbg__well_formed(command)) return VBG_SEND_REFUSED;
    if (b->data_dir == NULL) return VBG_SEND_BUSY;
    path = vbg__join(b->data_dir, VBG__COMMAND_FILE);
    /* The previous one is taken once the file is empty or gone; the data
       folder itself may not be made yet right after the start. */
    while (path != NULL && !written) {
        written =
            vbg__command_file_is(b, "") == 1 && vbg__write_file(path, command, strlen(command));
        if (!written && vbg__now_ms() >= deadline) break;
        if (!written) vbg__sleep_ms(VBG__POLL_MS);
    }
    free(path);
    if (!written) return VBG_SEND_BUSY;
    while (vbg__command_file_is(b, command) != 0) {
        if (vbg__now_ms() >= deadline) return VBG_SEND_WAITING;
        vbg__sleep_ms(VBG__POLL_MS);
    }
    return VBG_SEND_TAKEN;
}

/* ---- lists and messages ---- */

/* Reads NAME whole into *TEXT, split into lines; -1 (and the old text kept)
   when it could not be read now. */
static int vbg__read_list(vbg_bridge *b, const char *name, char **kept) {
    char *text = NULL;
    size_t length = 0;
    int got = vbg__read_data(b, name, NULL, &text, &length);
    if (got == VBG__FAILED) return -1;
    free(*kept);
    *kept = text;
    return got == VBG__OK ? vbg__split_lines(text, length) : 0;
}

const vbg_user *vbg_users(vbg_bridge *b, int *count) {
    char *line, *next;
    int lines = vbg__read_list(b, VBG__USERS_FILE, &b->users_text), n = 0;
    if (lines >= 0) {
        free(b->users);
        b->users = (vbg_user *)malloc(sizeof(vbg_user) * (size_t)(lines + 1));
        for (line = b->users_text; b->users != NULL && lines-- > 0; line = next) {
            char *bar = strchr(line, VBG__FIELD_SEPARATOR);
            next = vbg__next_line(line);
            if (*line == '\0') continue;
            if (bar != NULL) *bar = '\0';
            b->users[n].id = vbg__parse_int(line);
            b->users[n++].name = bar != NULL ? bar + 1 : "";
        }
        b->user_count = b->users != NULL ? n : 0;
    }
    *count = b->user_count;
    return b->users;
}

/* ID|NAME|0|PARENT: the name is what lies between the first bar and the
   last two, bars included. */
const vbg_channel *vbg_channels(vbg_bridge *b, int *count) {
    char *line, *next;
    int lines = vbg__read_list(b, VBG__CHANNELS_FILE, &b->channels_text), n = 0;
    if (lines >= 0) {
        free(b->channels);
        b->channels = (vbg_channel *)malloc(sizeof(vbg_channel) * (size_t)(lines + 1));
        for (line = b->channels_text; b->channels != NULL && lines-- > 0; line = next) {
            char *first = strchr(line, VBG__FIELD_SEPARATOR),
                 *last = strrchr(line, VBG__FIELD_SEPARATOR), *middle = last;
            next = vbg__next_line(line);
            if (*line == '\0') continue;
            while (middle != NULL && middle > first && *--middle != VBG__FIELD_SEPARATOR) continue;
            b->channels[n].id = vbg__parse_int(line);
            b->channels[n].name = "";
            b->channels[n].parent_id = 0;
            if (first != NULL && middle != NULL && middle > first) {
                *middle = '\0';
                b->channels[n].name = first + 1;
                b->channels[n].parent_id = vbg__parse_int(last + 1);
            } else if (first != NULL) {
                b->channels[n].name = first + 1;
            }
            ++n;
        }
        b->channel_count = b->channels != NULL ? n : 0;
    }
    *count = b->channel_count;
    return b->channels;
}

/* Reads what pm_in.txt holds past the offset, complete lines only. */
static int vbg__read_new_messages(vbg_bridge *b) {
    unsigned long long offset = b->pm_offset;
    char *text;
    size_t length;
    free(b->pm_text);
    b->pm_text = NULL;
    b->pm_length = b->pm_position = 0;
    if (!b->trusted && vbg_read_state(b) == VBG_STATE_NONE) return 0;
    if (vbg__read_data(b, VBG__PM_FILE, &offset, &text, &length) != VBG__OK) return 0;
    while (length > 0 && text[length - 1] != '\n') --length; /* still being written */
    b->pm_offset = offset + length;
    b->pm_text = text;
    b->pm_length = length;
    return length > 0;
}

int vbg_next_message(vbg_bridge *b, vbg_message *message) {
    char *line, *end, *bar;
    if (b->pm_position >= b->pm_length && !vbg__read_new_messages(b)) return 0;
    line = b->pm_text + b->pm_position;
    end = (char *)memchr(line, '\n', b->pm_length - b->pm_position);
    *end = '\0';
    b->pm_position = (size_t)(end - b->pm_text) + 1;
    message->from_id = vbg__parse_int(line);
    message->sender = message->text = "";
    if ((bar = strchr(line, VBG__FIELD_SEPARATOR)) != NULL) {
        *bar = '\0';
        message->sender = bar + 1;
        if ((bar = strchr(bar + 1, VBG__FIELD_SEPARATOR)) != NULL)
            *bar = '\0', message->text = bar + 1;
    }
    return 1;
}

/* ---- the platform seam ---- */

/* A new buffer of LENGTH + 1 bytes for a read, or NULL. */
static char *vbg__buffer(unsigned long long length) {
    return length < (size_t)-1 ? (char *)malloc((size_t)length + 1) : NULL;
}

#ifdef _WIN32
#include <windows.h>

#define VBG__SHARE_ALL (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)
#define VBG__TERMINATED_CODE 143 /* the code SIGTERM gives on POSIX */

static wchar_t *vbg__widen(const char *text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, NULL, 0);
    wchar_t *wide = n > 0 ? (wchar_t *)malloc(sizeof(wchar_t) * (size_t)n) : NULL;
    if (wide != NULL) MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, n);
    return wide;
}

static long long vbg__now_ms(void) { return (long long)GetTickCount64(); }
static void vbg__sleep_ms(int ms) { Sleep((DWORD)ms); }

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

static int vbg__spawn(vbg_bridge *b, const char *program, const char *const *args, int count,
                      const char *dir) {
    size_t size = strlen(program) * 2 + 3;
    char *line, *end;
    wchar_t *wide_line, *wide_dir;
    STARTUPINFOW startup;
    PROCESS_INFORMATION started;
    HANDLE job;
    UINT mode;
    BOOL ok = FALSE;
    DWORD error = ERROR_OUTOFMEMORY;
    int i;
    for (i = 0; i < count; ++i) size += strlen(args[i]) * 2 + 3;
    line = (char *)malloc(size + 1);
    if (line == NULL) return 0;
    end = vbg__quote(line, program);
    for (i = 0; i < count; ++i) *end++ = ' ', end = vbg__quote(end, args[i]);
    *end = '\0';
    wide_line = vbg__widen(line);
    wide_dir = vbg__full_path(dir);
    free(line);
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    job = vbg__kill_on_close_job();
    /* No error box in front of the player when a DLL is missing: the exit
       code tells. The game's own mode is given back at once. */
    mode = SetErrorMode(SEM_FAILCRITICALERRORS);
    SetErrorMode(mode | SEM_FAILCRITICALERRORS);
    if (wide_line != NULL && wide_dir != NULL) {
        ok = CreateProcessW(NULL, wide_line, NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, wide_dir,
                            &startup, &started);
        error = GetLastError();
    }
    SetErrorMode(mode);
    free(wide_line);
    free(wide_dir);
    if (!ok) {
        if (job != NULL) CloseHandle(job);
        snprintf(b->error, sizeof b->error, "cannot start %s (Windows error %lu)", program,
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
    b->process = started.hProcess;
    b->job = job;
    b->pid = (long long)started.dwProcessId;
    return 1;
}

static int vbg__poll_end(vbg_bridge *b) {
    DWORD code = 0;
    if (b->process == NULL) return b->ended;
    if (WaitForSingleObject((HANDLE)b->process, 0) != WAIT_OBJECT_0) return 0;
    GetExitCodeProcess((HANDLE)b->process, &code);
    CloseHandle((HANDLE)b->process);
    if (b->job != NULL) CloseHandle((HANDLE)b->job);
    b->process = b->job = NULL;
    b->exit_code = (long long)code;
    b->ended = 1;
    return 1;
}

/* TerminateProcess cannot be refused, so no time-out is needed to wait. */
static void vbg__end(vbg_bridge *b, int timeout_ms) {
    (void)timeout_ms;
    TerminateProcess((HANDLE)b->process, VBG__TERMINATED_CODE);
    WaitForSingleObject((HANDLE)b->process, INFINITE);
    vbg__poll_end(b);
}

#else /* POSIX */
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

static long long vbg__now_ms(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

static void vbg__sleep_ms(int ms) {
    struct timespec pause;
    pause.tv_sec = ms / 1000;
    pause.tv_nsec = (long)(ms % 1000) * 1000000L;
    nanosleep(&pause, NULL);
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
    if (program[0] == '/') return vbg__join("", program + 1);
    for (;;) {
        char *cwd = (char *)malloc(size);
        if (cwd != NULL && getcwd(cwd, size) != NULL) path = vbg__join(cwd, program);
        free(cwd);
        if (path != NULL || cwd == NULL || errno != ERANGE) return path;
        size *= 2;
    }
}

static int vbg__spawn(vbg_bridge *b, const char *program, const char *const *args, int count,
                      const char *dir) {
    char *path = vbg__absolute(program);
    char **argv = (char **)malloc(sizeof(char *) * (size_t)(count + 2));
    int report[2] = {-1, -1}, failure = 0, i;
    pid_t parent = getpid(), pid = -1;
    ssize_t got = 0;
    if (path != NULL && argv != NULL && pipe(report) == 0) {
        argv[0] = path;
        for (i = 0; i < count; ++i) argv[i + 1] = (char *)args[i];
        argv[count + 1] = NULL;
        fcntl(report[0], F_SETFD, FD_CLOEXEC);
        fcntl(report[1], F_SETFD, FD_CLOEXEC);
        pid = fork();
    }
    if (pid == 0) {
        /* The child: nothing here may allocate. It ends with the thread
           that started it, and hears nothing of the game's stdio. */
        sigset_t none;
        int null_file;
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
        for (i = 0; i <= 2; ++i) dup2(null_file, i);
        if (null_file > 2) close(null_file);
        if (chdir(dir) == 0) execv(argv[0], argv);
        failure = errno;
        if (write(report[1], &failure, sizeof failure) < 0) _exit(127);
        _exit(127);
    }
    if (report[1] >= 0) close(report[1]);
    if (pid > 0) {
        do got = read(report[0], &failure, sizeof failure);
        while (got < 0 && errno == EINTR);
    } else {
        failure = errno;
    }
    if (report[0] >= 0) close(report[0]);
    free(path);
    free((void *)argv);
    if (pid > 0 && got != (ssize_t)sizeof failure) {
        b->pid = (long long)pid;
        return 1;
    }
    if (pid > 0) waitpid(pid, NULL, 0);
    snprintf(b->error, sizeof b->error, "cannot start %s: %s", program, strerror(failure));
    return 0;
}

static int vbg__poll_end(vbg_bridge *b) {
    int status = 0;
    pid_t got;
    if (b->ended) return 1;
    got = waitpid((pid_t)b->pid, &status, WNOHANG);
    if (got == 0 || (got < 0 && errno != ECHILD)) return 0;
    /* ECHILD: the game lets the system reap its children; the code is lost. */
    b->exit_code = got < 0               ? -1
                   : WIFEXITED(status)   ? WEXITSTATUS(status)
                   : WIFSIGNALED(status) ? 128 + WTERMSIG(status)
                                         : -1;
    b->ended = 1;
    return 1;
}

static void vbg__end(vbg_bridge *b, int timeout_ms) {
    long long deadline = vbg__now_ms() + timeout_ms;
    int killed = 0;
    kill((pid_t)b->pid, SIGTERM);
    while (!vbg__poll_end(b)) {
        if (!killed && vbg__now_ms() >= deadline) killed = kill((pid_t)b->pid, SIGKILL) == 0;
        vbg__sleep_ms(VBG__POLL_MS);
    }
}
#endif /* POSIX */

#endif /* VOICEBRIDGE_GAME_IMPLEMENTATION */
