// Watches the desktop tool start from outside, in one process, so no
// process start per look stands between an event and its time:
//   startup_watch LOGIN_TITLE MAIN_TITLE R G B TIMEOUT_MS
// prints, one line each as it happens (times in milliseconds since the epoch):
//   login MS WINDOW     the login window is mapped
//   main MS WINDOW      the main window is mapped
//   painted MS          the main window shows a band of the colour R G B
//                       (the list's selected first row: drawn once the
//                       catalogue is in the list)
// and exits 0, or 1 when TIMEOUT_MS pass first.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static long long now_ms(void) {
  struct timespec t;
  clock_gettime(CLOCK_REALTIME, &t);
  return (long long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

static void nap(void) {
  struct timespec t = {0, 2 * 1000 * 1000};
  nanosleep(&t, NULL);
}

static int title_is(Display* d, Window w, const char* title) {
  Atom name = XInternAtom(d, "_NET_WM_NAME", False), utf8 = XInternAtom(d, "UTF8_STRING", False);
  Atom type;
  int format, same = 0;
  unsigned long count, after;
  unsigned char* text = NULL;
  if (XGetWindowProperty(d, w, name, 0, 256, False, utf8, &type, &format, &count, &after, &text) == Success && text) {
    same = strcmp((const char*)text, title) == 0;
    XFree(text);
    return same;
  }
  char* plain = NULL;
  if (XFetchName(d, w, &plain) && plain) {
    same = strcmp(plain, title) == 0;
    XFree(plain);
  }
  return same;
}

// A viewable window with this title anywhere in the tree, or 0.
static Window find(Display* d, Window at, const char* title) {
  XWindowAttributes a;
  if (at != DefaultRootWindow(d) && XGetWindowAttributes(d, at, &a) && a.map_state == IsViewable &&
      title_is(d, at, title))
    return at;
  Window root, parent, *children = NULL;
  unsigned int n = 0;
  Window found = 0;
  if (!XQueryTree(d, at, &root, &parent, &children, &n)) return 0;
  for (unsigned int i = 0; i < n && !found; ++i) found = find(d, children[i], title);
  if (children) XFree(children);
  return found;
}

static int shows_colour(Display* d, Window w, unsigned r, unsigned g, unsigned b) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(d, w, &a)) return 0;
  XImage* image = XGetImage(d, w, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
  if (!image) return 0;
  int run = 0, best = 0;
  for (int y = 0; y < a.height && best < 100; y += 4) {
    run = 0;
    for (int x = 0; x < a.width; ++x) {
      unsigned long p = XGetPixel(image, x, y);
      int same = ((p >> 16) & 0xff) == r && ((p >> 8) & 0xff) == g && (p & 0xff) == b;
      run = same ? run + 1 : 0;
      if (run > best) best = run;
    }
  }
  XDestroyImage(image);
  return best >= 100;  // a row's width, not a focus frame's corner
}

int main(int argc, char** argv) {
  if (argc < 7) {
    fprintf(stderr, "usage: startup_watch LOGIN_TITLE MAIN_TITLE R G B TIMEOUT_MS\n");
    return 2;
  }
  Display* d = XOpenDisplay(NULL);
  if (!d) return 2;
  const long long deadline = now_ms() + atoll(argv[6]);
  Window login = 0, main_window = 0;
  while (!(login = find(d, DefaultRootWindow(d), argv[1])))
    if (now_ms() > deadline) return 1; else nap();
  printf("login %lld %lu\n", now_ms(), login);
  fflush(stdout);
  while (!(main_window = find(d, DefaultRootWindow(d), argv[2])))
    if (now_ms() > deadline) return 1; else nap();
  printf("main %lld %lu\n", now_ms(), main_window);
  fflush(stdout);
  while (!shows_colour(d, main_window, atoi(argv[3]), atoi(argv[4]), atoi(argv[5])))
    if (now_ms() > deadline) return 1; else nap();
  printf("painted %lld\n", now_ms());
  fflush(stdout);
  XCloseDisplay(d);
  return 0;
}
