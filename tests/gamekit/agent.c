/* The C kit's test agent: one request per line on stdin, fields split at
   tabs, the kit's answer on stdout (see AGENT.md beside it). */
#define VOICEBRIDGE_GAME_IMPLEMENTATION
/* The kit first: in a strict C99 build it asks for the POSIX declarations
   before any system header is read. */
#include "voicebridge_game.h"
#define MAX_FIELDS 64
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

/* One line without its line feed, or NULL at the end of the input. */
static char *read_line(char **line, size_t *size) {
    size_t n = 0;
    int c;
    while ((c = getchar()) != EOF && c != '\n') {
        if (n + 1 >= *size) *line = (char *)realloc(*line, *size = *size * 2 + 64);
        (*line)[n++] = (char)c;
    }
    if (c == EOF && n == 0) return NULL;
    if (*line == NULL) *line = (char *)realloc(*line, *size = 64);
    (*line)[n] = '\0';
    return *line;
}

/* Splits LINE at its tabs, each field's \n, \t and \\ undone in place. */
static int split_fields(char *line, char **fields) {
    int count = 0;
    char *out = line;
    fields[count++] = out;
    for (; *line != '\0'; ++line) {
        if (*line == '\t' && count < MAX_FIELDS)
            *out++ = '\0', fields[count++] = out;
        else if (*line == '\\' && line[1] != '\0')
            ++line, *out++ = *line == 'n' ? '\n' : *line == 't' ? '\t' : *line;
        else
            *out++ = *line;
    }
    *out = '\0';
    return count;
}

/* The kit's words, each as NAME, a tab and its value (AGENT.md). */
static void print_constants(void) {
    char keys[256] = "", separator[2] = {VBG__FIELD_SEPARATOR, '\0'};
    const char *constants[][2] = {
        {"data_directory", VBG__DATA_DIRECTORY},
        {"state_file", VBG__STATE_FILE},
        {"users_file", VBG__USERS_FILE},
        {"channels_file", VBG__CHANNELS_FILE},
        {"pm_file", VBG__PM_FILE},
        {"command_file", VBG__COMMAND_FILE},
        {"lock_file", VBG__LOCK_FILE},
        {"state_keys", keys},
        {"status_starting", VBG_STATUS_STARTING},
        {"status_loggedin", VBG_STATUS_LOGGED_IN},
        {"status_authorized", VBG_STATUS_AUTHORIZED},
        {"status_error", VBG_STATUS_ERROR},
        {"field_separator", separator},
        {"default_host", VBG_DEFAULT_HOST},
        {"default_port", VBG_DEFAULT_PORT},
        {"default_encrypted", VBG_DEFAULT_ENCRYPTED},
        {"default_nickname", VBG_DEFAULT_NICKNAME},
    };
    size_t i;
    for (i = 0; i < VBG_STATE_KEY_COUNT; ++i) {
        if (i > 0) strcat(keys, ",");
        strcat(keys, vbg__state_keys[i]);
    }
    for (i = 0; i < sizeof constants / sizeof constants[0]; ++i)
        printf("%s\t%s\n", constants[i][0], constants[i][1]);
    puts("end");
}

int main(void) {
    vbg_bridge bridge = {0};
    char *line = NULL, *f[MAX_FIELDS];
    size_t size = 0;
    int n, i, count;
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    while (read_line(&line, &size) != NULL && strcmp(line, "quit") != 0) {
        const char *op = (n = split_fields(line, f)) > 0 ? f[0] : "", *arg = n > 1 ? f[1] : "";
        long long code;
        vbg_message m;
        if (strcmp(op, "start") == 0 && n >= 3) {
            if (vbg_start(&bridge, f[1], f[2], (const char *const *)f + 3, n - 3))
                puts("ok");
            else
                printf("error %s\n", bridge.error);
        } else if (strcmp(op, "status") == 0) {
            puts(vbg_status(&bridge));
        } else if (strcmp(op, "state") == 0) {
            vbg_read_state(&bridge);
            puts(vbg_state_value(&bridge, arg));
        } else if (strcmp(op, "wait_status") == 0 && n >= 3) {
            puts(vbg_wait_status(&bridge, arg, atoi(f[2])) ? "true" : "false");
        } else if (strcmp(op, "session_over") == 0) {
            puts(vbg_session_over(&bridge) ? "true" : "false");
        } else if (strcmp(op, "exit_code") == 0) {
            if (vbg_exit_code(&bridge, &code))
                printf("%lld\n", code);
            else
                puts("none");
        } else if (strcmp(op, "send") == 0 && n >= 3) {
            int sent = vbg_send(&bridge, arg, atoi(f[2]));
            puts(sent == VBG_SEND_TAKEN ? "true" : sent == VBG_SEND_REFUSED ? "refused" : "false");
        } else if (strcmp(op, "messages") == 0) {
            while (vbg_next_message(&bridge, &m)) printf("%d|%s|%s\n", m.from_id, m.sender, m.text);
            puts("end");
        } else if (strcmp(op, "users") == 0) {
            const vbg_user *users = vbg_users(&bridge, &count);
            for (i = 0; i < count; ++i) printf("%d|%s\n", users[i].id, users[i].name);
            puts("end");
        } else if (strcmp(op, "channels") == 0) {
            const vbg_channel *c = vbg_channels(&bridge, &count);
            for (i = 0; i < count; ++i) printf("%d|%s|%d\n", c[i].id, c[i].name, c[i].parent_id);
            puts("end");
        } else if (strcmp(op, "commands") == 0) {
            const vbg_command *commands = vbg_commands(&count);
            for (i = 0; i < count; ++i) printf("%s\t%s\n", commands[i].keyword, commands[i].shape);
            puts("end");
        } else if (strcmp(op, "constants") == 0) {
            print_constants();
        } else if (strcmp(op, "read_state") == 0) {
            /* A read that keeps the last state could not open the file. */
            long reads = atol(arg), r, empty = 0;
            int had = 0;
            for (r = 0; r < reads; ++r) {
                int got = vbg_read_state(&bridge);
                if (got != VBG_STATE_READ && had) ++empty;
                had = had || got == VBG_STATE_READ;
            }
            printf("reads %ld empty %ld\n", reads, empty);
        } else if (strcmp(op, "stop") == 0) {
            vbg_stop(&bridge, VBG_STOP_TIMEOUT_MS);
            puts("ok");
        } else {
            puts("error unknown request");
        }
        fflush(stdout);
    }
    vbg_free(&bridge);
    free(line);
    return 0;
}
