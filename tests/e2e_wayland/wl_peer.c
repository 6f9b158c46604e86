/* A raw data-control client that owns the clipboard of the compositor named
 * by WAYLAND_DISPLAY, for what wl-copy cannot do:
 *
 *   wl_peer MODE TYPE[=HEX]...
 *
 * offers each TYPE and prints "owned" once the compositor has taken the
 * offer. On each request for data, MODE says what it does with the pipe:
 *   serve    writes TYPE's bytes (HEX) and closes it
 *   mute     keeps it open and never writes
 *   stall    writes the start of a list, then keeps it open
 *   endless  writes list lines until the reader closes it
 *   told     prints "asked TYPE", waits for "answer" on its input, then
 *            writes as serve does and prints "answered"
 * It exits when another client takes the clipboard. */
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <wayland-client.h>

#include "wlr-data-control-unstable-v1-client-protocol.h"

static const char line[] = "file:///tmp/endless/a%20path%20that%20is%20long%20enough%20to%20fill%20pipes\r\n";

struct peer {
  struct wl_seat *seat;
  struct zwlr_data_control_manager_v1 *manager;
  const char *mode;
  char **types;
  int count;
};

static void global(void *data, struct wl_registry *registry, uint32_t name, const char *interface, uint32_t version) {
  struct peer *peer = data;
  if (strcmp(interface, wl_seat_interface.name) == 0 && !peer->seat)
    peer->seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
  else if (strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0)
    peer->manager = wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, version < 2 ? version : 2);
}

static void global_remove(void *data, struct wl_registry *registry, uint32_t name) {
  (void)data, (void)registry, (void)name;
}

static void write_all(int fd, const char *bytes, size_t size) {
  for (ssize_t written; size > 0; bytes += written, size -= (size_t)written)
    if ((written = write(fd, bytes, size)) < 0) return;
}

static void write_hex(int fd, const char *hex) {
  for (; hex[0] && hex[1]; hex += 2) {
    char byte = (char)strtol((char[]){hex[0], hex[1], 0}, NULL, 16);
    write_all(fd, &byte, 1);
  }
}

static void send_data(void *data, struct zwlr_data_control_source_v1 *source, const char *type, int32_t fd) {
  struct peer *peer = data;
  (void)source;
  if (strcmp(peer->mode, "stall") == 0) write_all(fd, line, 20);
  if (strcmp(peer->mode, "endless") == 0) {
    static char block[(sizeof line - 1) * 1024];
    for (size_t at = 0; at < sizeof block; at += sizeof line - 1) memcpy(block + at, line, sizeof line - 1);
    while (write(fd, block, sizeof block) > 0) {
    }
  }
  const int told = strcmp(peer->mode, "told") == 0;
  int answering = 1;
  if (told) {
    char word[16];
    printf("asked %s\n", type);
    fflush(stdout);
    /* Told to refuse: the pipe closes with nothing written. */
    answering = fgets(word, sizeof word, stdin) && strcmp(word, "answer\n") == 0;
  }
  if (!told && strcmp(peer->mode, "serve") != 0 && strcmp(peer->mode, "endless") != 0) return; /* the pipe stays open */
  size_t length = strlen(type);
  for (int i = 0; answering && i < peer->count; ++i)
    if (strncmp(peer->types[i], type, length) == 0 && peer->types[i][length] == '=')
      write_hex(fd, peer->types[i] + length + 1);
  close(fd);
  if (told) printf("answered\n"), fflush(stdout);
}

static void cancelled(void *data, struct zwlr_data_control_source_v1 *source) {
  (void)data, (void)source;
  exit(0);
}

int main(int argc, char **argv) {
  if (argc < 3) return fprintf(stderr, "usage: wl_peer serve|mute|stall|endless|told TYPE[=HEX]...\n"), 2;
  signal(SIGPIPE, SIG_IGN);
  struct peer peer = {.mode = argv[1], .types = argv + 2, .count = argc - 2};
  struct wl_display *display = wl_display_connect(NULL);
  if (!display) return perror("wl_display_connect"), 1;
  static const struct wl_registry_listener registry_listener = {global, global_remove};
  wl_registry_add_listener(wl_display_get_registry(display), &registry_listener, &peer);
  wl_display_roundtrip(display);
  if (!peer.seat || !peer.manager) return fprintf(stderr, "no seat or no data-control\n"), 1;

  struct zwlr_data_control_source_v1 *source = zwlr_data_control_manager_v1_create_data_source(peer.manager);
  static const struct zwlr_data_control_source_v1_listener source_listener = {send_data, cancelled};
  zwlr_data_control_source_v1_add_listener(source, &source_listener, &peer);
  for (int i = 0; i < peer.count; ++i) {
    char *type = strndup(peer.types[i], strcspn(peer.types[i], "="));
    zwlr_data_control_source_v1_offer(source, type);
    free(type);
  }
  struct zwlr_data_control_device_v1 *device = zwlr_data_control_manager_v1_get_data_device(peer.manager, peer.seat);
  zwlr_data_control_device_v1_set_selection(device, source);
  wl_display_roundtrip(display);
  printf("owned\n");
  fflush(stdout);
  while (wl_display_dispatch(display) != -1) {
  }
  return errno == EPIPE ? 0 : 1;
}
