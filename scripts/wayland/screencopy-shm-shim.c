/* Preloaded into xdg-desktop-portal-wlr 0.7.x for a compositor that renders without a GPU.
 *
 * That portal version starts a cast only after the compositor has named a GPU buffer format for
 * the screencopy frame (the frame's linux_dmabuf event): it tests the portal's own version where
 * the screencopy protocol's was meant. A compositor on the pixman renderer offers shared memory
 * only and never sends that event, so every Start fails ("unable to receive a valid format from
 * wlr_screencopy").
 *
 * The shim wraps the listener that the portal installs on each screencopy frame: on every
 * shared-memory `buffer` event it first delivers a `linux_dmabuf` event with the same format and
 * size. Without a zwp_linux_dmabuf_v1 global the portal knows no modifiers, so it never offers
 * GPU buffers to PipeWire: the stream carries shared memory (MemFd) as the compositor gives it.
 *
 * Build: cc -shared -fPIC -O2 -o screencopy-shm-shim.so screencopy-shm-shim.c -ldl */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <string.h>

struct wl_proxy;
typedef void (*listener_fn)(void);
const char *wl_proxy_get_class(struct wl_proxy *proxy);

/* Events of zwlr_screencopy_frame_v1, in protocol order. */
enum {
	FRAME_BUFFER = 0,
	FRAME_LINUX_DMABUF = 5,
	FRAME_EVENT_COUNT = 7
};

static listener_fn *portal_listener;
static listener_fn shim_listener[FRAME_EVENT_COUNT];

typedef void (*buffer_event)(void *, struct wl_proxy *, uint32_t, uint32_t, uint32_t, uint32_t);
typedef void (*dmabuf_event)(void *, struct wl_proxy *, uint32_t, uint32_t, uint32_t);

/* wl_shm names ARGB8888 and XRGB8888 0 and 1; every other wl_shm format is its DRM fourcc. */
static uint32_t drm_fourcc(uint32_t shm_format)
{
	if (shm_format == 0)
		return 0x34325241; /* AR24 */
	if (shm_format == 1)
		return 0x34325258; /* XR24 */
	return shm_format;
}

static void on_frame_buffer(void *data, struct wl_proxy *frame, uint32_t format, uint32_t width,
			    uint32_t height, uint32_t stride)
{
	((dmabuf_event)portal_listener[FRAME_LINUX_DMABUF])(data, frame, drm_fourcc(format), width,
							    height);
	((buffer_event)portal_listener[FRAME_BUFFER])(data, frame, format, width, height, stride);
}

int wl_proxy_add_listener(struct wl_proxy *proxy, listener_fn *implementation, void *data)
{
	static int (*next)(struct wl_proxy *, listener_fn *, void *);
	if (next == NULL)
		next = (int (*)(struct wl_proxy *, listener_fn *, void *))dlsym(
			RTLD_NEXT, "wl_proxy_add_listener");
	if (strcmp(wl_proxy_get_class(proxy), "zwlr_screencopy_frame_v1") == 0) {
		/* The portal passes the same static table for every frame. */
		portal_listener = implementation;
		memcpy(shim_listener, implementation, sizeof shim_listener);
		shim_listener[FRAME_BUFFER] = (listener_fn)on_frame_buffer;
		implementation = shim_listener;
	}
	return next(proxy, implementation, data);
}
