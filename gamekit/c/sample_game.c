/* sample_game.c: a complete game loop with the C kit, in text mode.

   Run it as `sample_game GAME_DIR PROGRAM HOST PORT` against voicesim with
   scenarios/demo.txt. At 60 frames a second, one vbg_update a frame and
   nothing else that waits but the start and the stop, it logs in with the
   demo's account, joins the channel behind a password, has Eco echo a
   message, talks a moment, leaves, and then rides out the server going
   away and coming back with the kit's restart. It says what happens on
   standard output; on anything unexpected, or after 90 s, it says
   "failed: " and why and ends with 1.

   Build: cc sample_game.c voicebridge_game.c (the kit's implementation is
   compiled on its own). */
#if !defined(_WIN32) && !defined(_POSIX_C_SOURCE)
#define _POSIX_C_SOURCE 200809L /* clock_gettime and nanosleep in a strict C99 build */
#endif
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "voicebridge_game.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h> /* the sample's own pause; the kit's file keeps its own */
static void wait_for_next_frame(void) { Sleep(16); }
#else
static void wait_for_next_frame(void) {
    struct timespec frame = {0, 16000000L};
    nanosleep(&frame, NULL);
}
#endif

#define GIVE_UP_AFTER_SECONDS 90

/* Where the game is: each step waits for one thing to happen. */
enum step {
    LOGGING_IN,
    READING_LISTS,
    JOINING,
    TALKING_TO_ECO,
    TALKING,
    DONE_TALKING,
    LEAVING,
    WAITING,
    BACK,
    FAILED
};

static void say(const char *format, ...) {
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    putchar('\n');
    fflush(stdout);
}

/* The demo's lists are complete once Eco and the channel behind the
   password are in them. */
static int lists_complete(vbg_bridge *bridge) {
    int users, channels, i, eco = 0, reserved = 0;
    const vbg_user *user = vbg_users(bridge, &users);
    const vbg_channel *channel = vbg_channels(bridge, &channels);
    for (i = 0; i < users; ++i) eco = eco || user[i].id == 100;
    for (i = 0; i < channels; ++i) reserved = reserved || strcmp(channel[i].name, "Reservado") == 0;
    if (eco && reserved) say("%d users, %d channels", users, channels);
    return eco && reserved;
}

static void post(vbg_bridge *bridge, const char *command) {
    if (vbg_post(bridge, command) == NULL) say("failed: the kit refused %s", command);
}

/* A command's outcome: what the game does next. The record goes back to
   the kit once read. */
static int on_outcome(vbg_bridge *bridge, vbg_request *request, int step) {
    int done = strcmp(request->outcome, VBG_OUTCOME_DONE) == 0;
    int awaited = strncmp(request->text, "pm ", 3) != 0 &&
                  (step == JOINING || step == TALKING || step == DONE_TALKING || step == LEAVING);
    if (!done) say("failed: %s: %s", request->text, request->outcome);
    if (done && awaited) say("%s: done", request->text);
    vbg_release(bridge, request);
    if (!done || !awaited) return done ? step : FAILED;
    switch (step) {
        case JOINING: post(bridge, "pm 100|Olá, Eco"); break;
        case TALKING: post(bridge, "ptt_off"); break;
        case DONE_TALKING: post(bridge, "leave"); break;
        default: say("waiting for the server to come back"); break;
    }
    return step + 1;
}

/* One event: the step it leads to. */
static int on_event(vbg_bridge *bridge, const vbg_event *e, int step, int *ended) {
    switch (e->kind) {
        case VBG_EVENT_STATUS:
            if (strcmp(e->status, VBG_STATUS_AUTHORIZED) != 0) return step;
            if (step == LOGGING_IN) say("authorized as %s", vbg_state_value(bridge, "myuserid"));
            if (step == WAITING) say("authorized again");
            return step == LOGGING_IN || step == WAITING ? step + 1 : step;
        case VBG_EVENT_MESSAGE:
            if (step != TALKING_TO_ECO || e->message.from_id != 100) return step;
            say("%s says: %s", e->message.sender, e->message.text);
            post(bridge, "ptt_on");
            return TALKING;
        case VBG_EVENT_OUTCOME: return on_outcome(bridge, e->request, step);
        case VBG_EVENT_SESSION_OVER:
            if (step != WAITING) {
                say("failed: the session ended: %s %s", e->reason, e->text);
                return FAILED;
            }
            /* Only the first: a try while the server is still away ends too. */
            if (!(*ended)++) say("session over: %s", e->reason);
            return step;
        case VBG_EVENT_RESTARTING:
            say("restarting: attempt %d in %d ms", e->attempt, e->delay_ms);
            return step;
        default: return step;
    }
}

int main(int argc, char **argv) {
    vbg_bridge bridge = {0};
    vbg_options options = {0};
    const char *args[5];
    time_t give_up = time(NULL) + GIVE_UP_AFTER_SECONDS;
    int step = LOGGING_IN, ended = 0;
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (argc != 5) {
        say("failed: usage: sample_game GAME_DIR PROGRAM HOST PORT");
        return 1;
    }
    args[0] = argv[3], args[1] = argv[4], args[2] = argv[4], args[3] = "0", args[4] = "Ana";
    options.username = "ana";
    options.password = "segredo-ana";
    options.restart = 1;
    if (!vbg_start_with(&bridge, argv[1], argv[2], args, 5, &options)) {
        say("failed: %s", bridge.error);
        return 1;
    }
    while (step != FAILED && step != BACK) {
        const vbg_event *events;
        int count = vbg_update(&bridge, &events), i;
        for (i = 0; i < count && step != FAILED; ++i)
            step = on_event(&bridge, &events[i], step, &ended);
        if (step == READING_LISTS && lists_complete(&bridge)) {
            post(&bridge, "joinpath Reservado|segredo");
            step = JOINING;
        }
        if (step != FAILED && step != BACK && time(NULL) > give_up) {
            say("failed: not done within %d s", GIVE_UP_AFTER_SECONDS);
            step = FAILED;
        }
        wait_for_next_frame();
    }
    vbg_free(&bridge);
    if (step == FAILED) return 1;
    say("stopped");
    return 0;
}
