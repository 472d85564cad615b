/* Drops a file on the X window under a point, as a file manager does: the XDND protocol's
 * source side, offering the file as text/uri-list. Wine turns such a drop on a window that
 * accepts files into WM_DROPFILES.
 *   xdnd_drop <x> <y> <absolute path> [done file]
 * Exit code 0 when the target accepted and finished the drop; then the done file, when named, is
 * written (a Windows program that starts this one under Wine cannot wait for its end). */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static Display* display;
static Window source;

static Atom A(const char* name) {
  return XInternAtom(display, name, False);
}

/* The deepest window under (x, y) that says it takes XDND drops, from the root down. */
static Window DropTarget(int x, int y, long* version) {
  Window root = DefaultRootWindow(display), at = root, child = None, found = None;
  int cx, cy;
  while (XTranslateCoordinates(display, root, at, x, y, &cx, &cy, &child) && child != None) {
    at = child;
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = NULL;
    if (XGetWindowProperty(display, at, A("XdndAware"), 0, 1, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) == Success &&
        data != NULL) {
      if (count > 0) {
        found = at;
        *version = *(long*)data;
      }
      XFree(data);
    }
  }
  return found;
}

static void Send(Window target, const char* message, long l1, long l2, long l3, long l4) {
  XEvent e;
  memset(&e, 0, sizeof e);
  e.xclient.type = ClientMessage;
  e.xclient.display = display;
  e.xclient.window = target;
  e.xclient.message_type = A(message);
  e.xclient.format = 32;
  e.xclient.data.l[0] = (long)source;
  e.xclient.data.l[1] = l1;
  e.xclient.data.l[2] = l2;
  e.xclient.data.l[3] = l3;
  e.xclient.data.l[4] = l4;
  XSendEvent(display, target, False, NoEventMask, &e);
  XFlush(display);
}

/* Waits up to `seconds` for the client message named, answering requests for the data. */
static int Await(const char* message, const char* uri, long* answer, int seconds) {
  const time_t end = time(NULL) + seconds;
  while (time(NULL) < end) {
    while (XPending(display) > 0) {
      XEvent e;
      XNextEvent(display, &e);
      if (e.type == ClientMessage && e.xclient.message_type == A(message)) {
        if (answer != NULL) *answer = e.xclient.data.l[1];
        return 1;
      }
      if (e.type == SelectionRequest) {
        XSelectionRequestEvent* r = &e.xselectionrequest;
        XEvent reply;
        memset(&reply, 0, sizeof reply);
        reply.xselection.type = SelectionNotify;
        reply.xselection.requestor = r->requestor;
        reply.xselection.selection = r->selection;
        reply.xselection.target = r->target;
        reply.xselection.time = r->time;
        reply.xselection.property = None;
        if (r->target == A("text/uri-list")) {
          Atom property = r->property != None ? r->property : r->target;
          XChangeProperty(display, r->requestor, property, r->target, 8, PropModeReplace,
                          (const unsigned char*)uri, (int)strlen(uri));
          reply.xselection.property = property;
        }
        XSendEvent(display, r->requestor, False, NoEventMask, &reply);
        XFlush(display);
      }
    }
    struct timespec pause = {0, 10 * 1000 * 1000};
    nanosleep(&pause, NULL);
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 4 || argc > 5 || argv[3][0] != '/') {
    fprintf(stderr, "usage: xdnd_drop <x> <y> <absolute path> [done file]\n");
    return 2;
  }
  const int x = atoi(argv[1]), y = atoi(argv[2]);
  display = XOpenDisplay(NULL);
  if (display == NULL) return 2;
  char uri[4096];
  snprintf(uri, sizeof uri, "file://%s\r\n", argv[3]);
  source = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
  XSetSelectionOwner(display, A("XdndSelection"), source, CurrentTime);
  long version = 0;
  const Window target = DropTarget(x, y, &version);
  if (target == None) {
    fprintf(stderr, "xdnd_drop: no window that takes drops at %d,%d\n", x, y);
    return 1;
  }
  if (version > 5) version = 5;
  Send(target, "XdndEnter", version << 24, (long)A("text/uri-list"), None, None);
  Send(target, "XdndPosition", 0, (long)x << 16 | y, CurrentTime, (long)A("XdndActionCopy"));
  long status = 0;
  if (!Await("XdndStatus", uri, &status, 10) || (status & 1) == 0) {
    fprintf(stderr, "xdnd_drop: the window at %d,%d refuses the drop\n", x, y);
    Send(target, "XdndLeave", 0, 0, 0, 0);
    return 1;
  }
  Send(target, "XdndDrop", 0, CurrentTime, 0, 0);
  const int finished = Await("XdndFinished", uri, NULL, 10);
  if (!finished) fprintf(stderr, "xdnd_drop: the drop did not finish\n");
  XCloseDisplay(display);
  if (finished && argc == 5) {
    FILE* done = fopen(argv[4], "w");
    if (done == NULL) return 1;
    fclose(done);
  }
  return finished ? 0 : 1;
}
