/* The C kit's test agent: one request per line on stdin, fields split at
   tabs, the kit's answer on stdout (see AGENT.md beside it). The kit's
   implementation is compiled on its own, as a game compiles it. */
#if !defined(_WIN32) && !defined(_POSIX_C_SOURCE)
#define _POSIX_C_SOURCE 200809L /* clock_gettime and nanosleep in a strict C99 build */
#endif
#include "voicebridge_game.h"
#define MAX_FIELDS 64
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <time.h>
#endif

/* The agent's own clock and pause, for the timing requests. */
static double now_us(void) {
#ifdef _WIN32
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return (double)count.QuadPart * 1e6 / (double)frequency.QuadPart;
#else
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec * 1e6 + (double)now.tv_nsec / 1e3;
#endif
}

static void pause_ms(int ms) {
#ifdef _WIN32
    Sleep((DWORD)ms);
#else
    struct timespec pause;
    pause.tv_sec = ms / 1000;
    pause.tv_nsec = (long)(ms % 1000) * 1000000L;
    nanosleep(&pause, NULL);
#endif
}

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
    char keys[256] = "", separator[2] = {VBG_FIELD_SEPARATOR, '\0'};
    const char *constants[][2] = {
        {"data_directory", VBG_DATA_DIRECTORY},
        {"state_file", VBG_STATE_FILE},
        {"users_file", VBG_USERS_FILE},
        {"channels_file", VBG_CHANNELS_FILE},
        {"pm_file", VBG_PM_FILE},
        {"command_file", VBG_COMMAND_FILE},
        {"lock_file", VBG_LOCK_FILE},
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
        strcat(keys, vbg_state_keys()[i]);
    }
    for (i = 0; i < sizeof constants / sizeof constants[0]; ++i)
        printf("%s\t%s\n", constants[i][0], constants[i][1]);
    puts("end");
}

static char *copy_text(const char *text) {
    char *copy = (char *)malloc(strlen(text) + 1);
    return copy != NULL ? strcpy(copy, text) : NULL;
}

/* The command objects the agent has seen, numbered from 1 in that order. */
static vbg_request **requests;
static int request_count;

static int number_of(vbg_request *request) {
    int i;
    for (i = 0; i < request_count; ++i)
        if (requests[i] == request) return i + 1;
    requests =
        (vbg_request **)realloc((void *)requests, sizeof *requests * (size_t)(request_count + 1));
    requests[request_count++] = request;
    return request_count;
}

static void print_events(const vbg_event *events, int count) {
    static const char *const kinds[] = {"status",  "users",   "channels",     "members",
                                        "message", "outcome", "session_over", "restarting"};
    int i;
    for (i = 0; i < count; ++i) {
        const vbg_event *e = &events[i];
        switch (e->kind) {
            case VBG_EVENT_STATUS: printf("status|%s\n", e->status); break;
            case VBG_EVENT_MESSAGE:
                printf("message|%d|%s|%s\n", e->message.from_id, e->message.sender,
                       e->message.text);
                break;
            case VBG_EVENT_OUTCOME:
                printf("outcome|%d|%s|%s\n", number_of(e->request), e->request->outcome,
                       e->request->text);
                break;
            case VBG_EVENT_SESSION_OVER: printf("session_over|%s|%s\n", e->reason, e->text); break;
            case VBG_EVENT_RESTARTING: printf("restarting|%d|%d\n", e->attempt, e->delay_ms); break;
            default: puts(kinds[e->kind]); break;
        }
    }
    puts("end");
}

static int by_value(const void *a, const void *b) {
    double x = *(const double *)a, y = *(const double *)b;
    return (x > y) - (x < y);
}

/* The times sorted, at the share P of the way (0.5: the median). */
static long percentile(double *times, int count, double p) {
    int at = (int)(p * (count - 1) + 0.5);
    return count > 0 ? (long)(times[at] + 0.5) : 0;
}

static void frames(vbg_bridge *bridge, int count) {
    double *times = (double *)malloc(sizeof *times * (size_t)(count > 0 ? count : 1));
    const vbg_event *events;
    int i;
    for (i = 0; i < count; ++i) {
        double start = now_us();
        vbg_update(bridge, &events);
        times[i] = now_us() - start;
    }
    qsort(times, (size_t)count, sizeof *times, by_value);
    printf("median_us %ld p99_us %ld max_us %ld\n", percentile(times, count, 0.5),
           percentile(times, count, 0.99), percentile(times, count, 1.0));
    free(times);
}

static void paced_frames(vbg_bridge *bridge, int milliseconds) {
    double end = now_us() + milliseconds * 1e3, longest = 0;
    const vbg_event *events;
    long n = 0;
    while (now_us() < end) {
        double start = now_us(), took;
        vbg_update(bridge, &events);
        took = now_us() - start;
        if (took > longest) longest = took;
        ++n;
        pause_ms(16);
    }
    printf("frames %ld max_us %ld\n", n, (long)(longest + 0.5));
}

static void ptt_latency(vbg_bridge *bridge, int count) {
    double *times = (double *)malloc(sizeof *times * (size_t)(count > 0 ? count : 1));
    const vbg_event *events;
    int i;
    for (i = 0; i < count; ++i) {
        const char *want = i % 2 == 0 ? "1" : "0";
        double start = now_us(), deadline = start + 5e6;
        vbg_request *request = vbg_post(bridge, i % 2 == 0 ? "ptt_on" : "ptt_off");
        vbg_release(bridge, request);
        for (;;) {
            vbg_update(bridge, &events);
            if (strcmp(vbg_state_value(bridge, "ptt"), want) == 0) break;
            if (now_us() > deadline) {
                printf("error ptt %s not shown within 5 s\n", want);
                free(times);
                return;
            }
            pause_ms(1);
        }
        times[i] = now_us() - start;
    }
    qsort(times, (size_t)count, sizeof *times, by_value);
    printf("p50_us %ld p99_us %ld max_us %ld\n", percentile(times, count, 0.5),
           percentile(times, count, 0.99), percentile(times, count, 1.0));
    free(times);
}

int main(void) {
    vbg_bridge bridge = {0};
    vbg_options options = {0};
    char *line = NULL, *f[MAX_FIELDS], *username = NULL, *password = NULL;
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
            if (vbg_start_with(&bridge, f[1], f[2], (const char *const *)f + 3, n - 3, &options))
                puts("ok");
            else
                printf("error %s\n", bridge.error);
        } else if (strcmp(op, "configure") == 0 && n >= 3) {
            if (strcmp(arg, "username") == 0) {
                free(username);
                options.username = username = copy_text(f[2]);
            } else if (strcmp(arg, "password") == 0) {
                free(password);
                options.password = password = copy_text(f[2]);
            } else if (strcmp(arg, "restart") == 0) {
                options.restart = strcmp(f[2], "1") == 0;
            }
            puts("ok");
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
        } else if (strcmp(op, "post") == 0 && n >= 2) {
            vbg_request *request = vbg_post(&bridge, arg);
            if (request != NULL)
                printf("posted %d\n", number_of(request));
            else
                puts("refused");
        } else if (strcmp(op, "outcome") == 0) {
            int number = atoi(arg);
            if (number < 1 || number > request_count)
                puts("error no such command");
            else
                puts(requests[number - 1]->outcome ? requests[number - 1]->outcome : "pending");
        } else if (strcmp(op, "update") == 0) {
            const vbg_event *events;
            count = vbg_update(&bridge, &events);
            print_events(events, count);
        } else if (strcmp(op, "messages") == 0) {
            while (vbg_next_message(&bridge, &m)) printf("%d|%s|%s\n", m.from_id, m.sender, m.text);
            puts("end");
        } else if (strcmp(op, "users") == 0 || strcmp(op, "members") == 0) {
            const vbg_user *users = vbg_users(&bridge, &count);
            int members = strcmp(op, "members") == 0;
            for (i = 0; i < count; ++i)
                if (members)
                    printf("%d|%d\n", users[i].id, users[i].channel_id);
                else
                    printf("%d|%s\n", users[i].id, users[i].name);
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
        } else if (strcmp(op, "end_reason") == 0) {
            puts(vbg_end_reason(&bridge));
        } else if (strcmp(op, "env") == 0) {
            const char *value = getenv(arg);
            puts(value != NULL ? value : "unset");
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
        } else if (strcmp(op, "frames") == 0) {
            frames(&bridge, atoi(arg));
        } else if (strcmp(op, "paced_frames") == 0) {
            paced_frames(&bridge, atoi(arg));
        } else if (strcmp(op, "ptt_latency") == 0) {
            ptt_latency(&bridge, atoi(arg));
        } else if (strcmp(op, "stop") == 0) {
            vbg_stop(&bridge, VBG_STOP_TIMEOUT_MS);
            puts("ok");
        } else {
            puts("error unknown request");
        }
        fflush(stdout);
    }
    vbg_free(&bridge);
    free((void *)requests);
    free(username);
    free(password);
    free(line);
    return 0;
}
