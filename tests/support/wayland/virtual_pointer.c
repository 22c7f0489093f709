/* A pointer for tests on a Wayland desktop without input devices (wlroots virtual pointer).
 *
 * Usage: virtual-pointer WIDTH HEIGHT   (the size of the output layout)
 * Reads commands from standard input, one a line, and answers "ok" once the compositor has
 * handled each: "move X Y", "press", "release", "click". The pointer exists while the program
 * runs; end of input ends it. */
#include <linux/input-event-codes.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

static struct wl_seat *seat;
static struct zwlr_virtual_pointer_manager_v1 *manager;

static void on_global(void *data, struct wl_registry *registry, uint32_t name,
		      const char *interface, uint32_t version)
{
	(void)data;
	(void)version;
	if (strcmp(interface, wl_seat_interface.name) == 0 && seat == NULL)
		seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
	else if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
		manager = wl_registry_bind(registry, name,
					   &zwlr_virtual_pointer_manager_v1_interface, 1);
}

static void on_global_remove(void *data, struct wl_registry *registry, uint32_t name)
{
	(void)data;
	(void)registry;
	(void)name;
}

static const struct wl_registry_listener registry_listener = {on_global, on_global_remove};

static uint32_t now_ms(void)
{
	struct timespec ts;
	clock_gettime(CLOCK_MONOTONIC, &ts);
	return (uint32_t)(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

int main(int argc, char **argv)
{
	if (argc != 3) {
		fprintf(stderr, "usage: virtual-pointer WIDTH HEIGHT\n");
		return 2;
	}
	const uint32_t width = (uint32_t)strtoul(argv[1], NULL, 10);
	const uint32_t height = (uint32_t)strtoul(argv[2], NULL, 10);
	struct wl_display *display = wl_display_connect(NULL);
	if (display == NULL) {
		fprintf(stderr, "virtual-pointer: no Wayland display\n");
		return 1;
	}
	struct wl_registry *registry = wl_display_get_registry(display);
	wl_registry_add_listener(registry, &registry_listener, NULL);
	wl_display_roundtrip(display);
	if (seat == NULL || manager == NULL) {
		fprintf(stderr, "virtual-pointer: the compositor offers no virtual pointer\n");
		return 1;
	}
	struct zwlr_virtual_pointer_v1 *pointer =
		zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
	wl_display_roundtrip(display);
	printf("ok\n");
	fflush(stdout);

	char line[128];
	while (fgets(line, sizeof line, stdin) != NULL) {
		unsigned x = 0, y = 0;
		if (sscanf(line, "move %u %u", &x, &y) == 2) {
			zwlr_virtual_pointer_v1_motion_absolute(pointer, now_ms(), x, y, width, height);
		} else if (strncmp(line, "press", 5) == 0) {
			zwlr_virtual_pointer_v1_button(pointer, now_ms(), BTN_LEFT,
						       WL_POINTER_BUTTON_STATE_PRESSED);
		} else if (strncmp(line, "release", 7) == 0) {
			zwlr_virtual_pointer_v1_button(pointer, now_ms(), BTN_LEFT,
						       WL_POINTER_BUTTON_STATE_RELEASED);
		} else if (strncmp(line, "click", 5) == 0) {
			zwlr_virtual_pointer_v1_button(pointer, now_ms(), BTN_LEFT,
						       WL_POINTER_BUTTON_STATE_PRESSED);
			zwlr_virtual_pointer_v1_frame(pointer);
			zwlr_virtual_pointer_v1_button(pointer, now_ms(), BTN_LEFT,
						       WL_POINTER_BUTTON_STATE_RELEASED);
		} else {
			printf("unknown command\n");
			fflush(stdout);
			continue;
		}
		zwlr_virtual_pointer_v1_frame(pointer);
		if (wl_display_roundtrip(display) < 0)
			return 1;
		printf("ok\n");
		fflush(stdout);
	}
	zwlr_virtual_pointer_v1_destroy(pointer);
	wl_display_roundtrip(display);
	wl_display_disconnect(display);
	return 0;
}
